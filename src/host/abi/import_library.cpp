// The one function behind every name of the host's import library that a Visual Studio build makes from
// exports.tsv when the SDK's own is not given (see src/CMakeLists.txt). Nothing calls it: a module linked
// against that import library takes every one of those names from pluginsdk.dll, the host's or the
// stand-in's.
extern "C" void korvindel_host_export() {}
