#pragma once
// The widest path this processor has and the system saves the registers of: CPUID and XGETBV
// (compiler intrinsics, no system call).

#include "plugin/search/pair.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define MURL_HAVE_SIMD_SEARCH 1
#endif

namespace murl::utf16::detail {

#if defined(MURL_HAVE_SIMD_SEARCH)
inline SearchPath ReadBestPath() noexcept {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(edx & bit_SSE2)) return SearchPath::kPlain;
    if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return SearchPath::kSse2;
    unsigned saved = 0, saved_high = 0;
    __asm__("xgetbv" : "=a"(saved), "=d"(saved_high) : "c"(0));
    constexpr unsigned kXmmYmm = 0x6;      // the SSE and AVX registers
    constexpr unsigned kOpmaskZmm = 0xE0;  // the opmask registers and the upper ZMM registers
    if ((saved & kXmmYmm) != kXmmYmm) return SearchPath::kSse2;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) || !(ebx & bit_AVX2)) {
        return SearchPath::kSse2;
    }
    constexpr unsigned kAvx512fbw = bit_AVX512F | bit_AVX512BW;
    if ((saved & kOpmaskZmm) == kOpmaskZmm && (ebx & kAvx512fbw) == kAvx512fbw) {
        return SearchPath::kAvx512bw;
    }
    return SearchPath::kAvx2;
}
#else
constexpr SearchPath ReadBestPath() noexcept {
    return SearchPath::kPlain;
}
#endif

}  // namespace murl::utf16::detail
