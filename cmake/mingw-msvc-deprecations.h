// What the Microsoft C runtime deprecates (cl.exe's C4996, an error at /WX) and MinGW-w64's headers leave
// unmarked even with __MINGW_MSVC_COMPAT_WARNINGS, marked here for the MinGW build of the project's own code.
// Force-included, so each use meets the mark wherever its header came from; std:: names are the same functions.
#pragma once

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define KORVINDEL_MSVC_DEPRECATED(replacement) \
  __attribute__((__deprecated__("Visual Studio deprecates this (C4996); use " replacement)))

KORVINDEL_MSVC_DEPRECATED("std::snprintf or std::to_chars") int sprintf(char*, const char*, ...);
KORVINDEL_MSVC_DEPRECATED("std::vsnprintf") int vsprintf(char*, const char*, va_list);
KORVINDEL_MSVC_DEPRECATED("std::from_chars or a stream") int sscanf(const char*, const char*, ...);
KORVINDEL_MSVC_DEPRECATED("std::from_chars or a stream") int vsscanf(const char*, const char*, va_list);
KORVINDEL_MSVC_DEPRECATED("a stream") int scanf(const char*, ...);
KORVINDEL_MSVC_DEPRECATED("a stream") int vscanf(const char*, va_list);
KORVINDEL_MSVC_DEPRECATED("a stream") int fscanf(FILE*, const char*, ...);
KORVINDEL_MSVC_DEPRECATED("a stream") int vfscanf(FILE*, const char*, va_list);
KORVINDEL_MSVC_DEPRECATED("std::string") char* strcpy(char*, const char*);
KORVINDEL_MSVC_DEPRECATED("std::string") char* strcat(char*, const char*);
KORVINDEL_MSVC_DEPRECATED("a temporary the system names") char* tmpnam(char*);
KORVINDEL_MSVC_DEPRECATED("gmtime_s") struct tm* gmtime(const time_t*);
KORVINDEL_MSVC_DEPRECATED("localtime_s") struct tm* localtime(const time_t*);
KORVINDEL_MSVC_DEPRECATED("std::chrono") char* ctime(const time_t*);
KORVINDEL_MSVC_DEPRECATED("mbstowcs_s") size_t mbstowcs(wchar_t*, const char*, size_t);

#undef KORVINDEL_MSVC_DEPRECATED
