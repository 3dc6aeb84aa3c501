// Linkage of the host's classes and of what a plugin module exports to the host.
#pragma once

// HOST_API marks the host library's classes: imported by the plugin, exported by whoever implements them.
// Every member of such a class is defined in the host, special members included, so that copying or
// destroying a wrapper in the plugin runs the host's code on the host's implementation objects.
// Exception classes, which derive from the standard library's, are never marked: Visual Studio refuses an
// exported class with an unexported base (C4275). Each module keeps its own inline copy, and a catch matches
// across modules by the type's name on every ABI the project builds for.
#if defined(_WIN32)
#if defined(HOST_LIBRARY_BUILD)
#define HOST_API __declspec(dllexport)
#else
#define HOST_API __declspec(dllimport)
#endif
#else
#define HOST_API __attribute__((visibility("default")))
#endif

// PLUGIN_API marks what a plugin module exports to the host: its entry points, its descriptor record and the
// members of the plugin base class, which every module defines for itself.
#if defined(PLUGIN_MODULE_BUILD)
#if defined(_WIN32)
#define PLUGIN_API __declspec(dllexport)
#else
#define PLUGIN_API __attribute__((visibility("default")))
#endif
#else
#define PLUGIN_API
#endif
