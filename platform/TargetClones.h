#pragma once

// Marks a hot loop to be built for AVX2 as well as for the baseline, the version picked when
// the program loads. The pick runs in an ifunc resolver before ThreadSanitizer's runtime is
// ready, which crashes a TSan binary before main, so a TSan build keeps the baseline only.
#if defined(__SANITIZE_THREAD__)
#define QUORVEX_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QUORVEX_TSAN_BUILD 1
#endif
#endif

#if defined(QUORVEX_TSAN_BUILD)
#define QUORVEX_CLONE_FOR_AVX2
#else
#define QUORVEX_CLONE_FOR_AVX2 __attribute__((target_clones("avx2", "default")))
#endif
