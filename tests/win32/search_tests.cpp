// The line search as murl.dll has it (this compiler, the filter's optimisation, 32-bit code):
// it takes the widest path the processor reports, for the filter's pairs too, and each path
// finds what the plain loop finds around every block boundary, each text ending against an
// unreadable page. Each path is a case of its own, skipped where this processor lacks it.

#include "platform/win32/windows_headers.h"

#include <algorithm>
#include <string>

#include "check.h"
#include "search_paths_check.h"

namespace {

using murl::utf16::SearchPath;
using murl::utf16::SearchPathName;

void CompareOn(SearchPath path) {
    if (path > murl::utf16::BestSearchPath()) {
        check::Skip(std::string("this processor has no ") + SearchPathName(path) +
                    ": that path was not tested");
        return;
    }
    int failures = 0;
    // Two pages, the second unreadable: each text ends where reading must stop.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    auto* const pages = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD was = 0;
    if (!CHECK(pages != nullptr) ||
        !CHECK(VirtualProtect(pages + page, page, PAGE_NOACCESS, &was))) {
        return;
    }
    murl::search_check::CompareAroundBoundaries(
        path,
        [&](const std::string& message) {
            if (++failures <= 5) check::Fail(__FILE__, __LINE__, message);
        },
        [&](std::u16string_view text) {
            char16_t* const at = reinterpret_cast<char16_t*>(pages + page) - text.size();
            std::copy(text.begin(), text.end(), at);
            return std::u16string_view(at, text.size());
        });
    VirtualFree(pages, 0, MEM_RELEASE);
    CHECK_EQ(failures, 0);
}

}  // namespace

TEST_CASE(module_search_takes_the_path_the_processor_reports) {
    const char* const reported = SearchPathName(murl::search_check::ReportedPath());
    TRACE(std::string("the processor reports ") + reported);
    CHECK_EQ(std::string(SearchPathName(murl::utf16::BestSearchPath())), reported);
    CHECK_EQ(std::string(SearchPathName(murl::utf16::ActiveSearchPath())), reported);
    for (const auto& pairs : murl::search_check::kFilterPairs) {
        TRACE(murl::search_check::Describe(pairs[0]) + " " +
              murl::search_check::Describe(pairs[1]));
        CHECK_EQ(std::string(SearchPathName(murl::utf16::PathTaken(pairs[0], pairs[1]))), reported);
    }
}

TEST_CASE(search_sse2_agrees) {
    CompareOn(SearchPath::kSse2);
}
TEST_CASE(search_avx2_agrees) {
    CompareOn(SearchPath::kAvx2);
}
TEST_CASE(search_avx512bw_agrees) {
    CompareOn(SearchPath::kAvx512bw);
}
