// What a test does where its behaviour has no counterpart on the system it runs on.
#pragma once

#include <gtest/gtest.h>

/// Skips the rest of the test on Windows, saying why; the skip shows in every run's list of skipped tests.
#if defined(_WIN32)
#define KORVINDEL_NOT_ON_WINDOWS(reason) GTEST_SKIP() << "Not run here: " << reason
#else
#define KORVINDEL_NOT_ON_WINDOWS(reason) static_cast<void>(0)
#endif
