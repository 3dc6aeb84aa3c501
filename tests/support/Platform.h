// What a test does where its behaviour has no counterpart on the system it runs on.
#pragma once

#include <gtest/gtest.h>

/// A test that runs only on POSIX systems. On Windows it is reported as skipped with the reason, which every
/// run lists; its body is still compiled there, as a template that is never instantiated, so that it stays
/// valid everywhere without code that no run reaches (cl.exe's C4702).
#if defined(_WIN32)
#define KORVINDEL_POSIX_TEST(suite, name, reason)                   \
  TEST(suite, name) { GTEST_SKIP() << "Not run here: " << reason; } \
  template <typename>                                               \
  void suite##_##name##_OnPosix()
#else
#define KORVINDEL_POSIX_TEST(suite, name, reason) TEST(suite, name)
#endif
