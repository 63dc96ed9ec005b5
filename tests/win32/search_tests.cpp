// The line search as murl.dll has it (this compiler, the filter's optimisation, 32-bit code):
// every path this processor can take against the plain loop, around every block boundary, each
// text ending against an unreadable page.

#include "platform/win32/windows_headers.h"

#include <algorithm>
#include <string>

#include "check.h"
#include "search_paths_check.h"

TEST_CASE(module_search_paths_agree) {
    TRACE(std::string("paths plain to ") +
          murl::utf16::SearchPathName(murl::utf16::BestSearchPath()));
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
