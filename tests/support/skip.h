#pragma once
// Tests that cannot run in one build skip themselves there, with the reason
// beside the skip, rather than being left out by a list kept elsewhere.
#include <gtest/gtest.h>

// Sanitizer builds, as GCC and clang each tell them.
#if defined(__SANITIZE_ADDRESS__)
#define ZEK_UNDER_ASAN 1
#endif
#if defined(__SANITIZE_THREAD__)
#define ZEK_UNDER_TSAN 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEK_UNDER_ASAN 1
#endif
#if __has_feature(thread_sanitizer)
#define ZEK_UNDER_TSAN 1
#endif
#endif

// The reason is a string: GTEST_SKIP() << reason.
#ifdef _WIN32
#define ZEK_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "Linux only: " << (reason)
#else
#define ZEK_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

#if defined(ZEK_UNDER_ASAN) || defined(ZEK_UNDER_TSAN)
#define ZEK_SKIP_UNDER_SANITIZERS(reason) GTEST_SKIP() << "not under a sanitizer: " << (reason)
#else
#define ZEK_SKIP_UNDER_SANITIZERS(reason) static_cast<void>(0)
#endif

#ifdef ZEK_UNDER_TSAN
#define ZEK_SKIP_UNDER_TSAN(reason) GTEST_SKIP() << "not under ThreadSanitizer: " << (reason)
#else
#define ZEK_SKIP_UNDER_TSAN(reason) static_cast<void>(0)
#endif
