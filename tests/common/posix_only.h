#pragma once
// Tests about POSIX alone (owner, group and mode bits, other users, FIFOs and
// devices, signals, file size limits, mounts) are compiled on POSIX systems
// only. On Windows each is still listed under its own name and skipped with
// the reason, so that a run there shows what it leaves out:
//
//   KEYLOOM_POSIX_ONLY(Suite, Name, "why")
//   #ifndef _WIN32
//   TEST(Suite, Name) { ... }
//   #endif
//
// A row of a table test that needs such a thing skips itself by its name:
//
//   if (name.ends_with("_fifo"))
//       KEYLOOM_SKIP_ON_WINDOWS("FIFOs");

#include <gtest/gtest.h>

#ifdef _WIN32
#define KEYLOOM_POSIX_ONLY(suite, name, reason)                                                                        \
    TEST(suite, name) { GTEST_SKIP() << "POSIX only: " << (reason); }
#define KEYLOOM_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "POSIX only: " << (reason)
#else
#define KEYLOOM_POSIX_ONLY(suite, name, reason)
#define KEYLOOM_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif
