// The line search as murl.dll has it (this compiler, the filter's optimisation, 32-bit code):
// every path this processor can take against the plain loop, around every block boundary.

#include <string>

#include "check.h"
#include "search_paths_check.h"

TEST_CASE(module_search_paths_agree) {
    TRACE(std::string("paths plain to ") +
          murl::utf16::SearchPathName(murl::utf16::BestSearchPath()));
    int failures = 0;
    murl::search_check::CompareAroundBoundaries([&](const std::string& message) {
        if (++failures <= 5) check::Fail(__FILE__, __LINE__, message);
    });
    CHECK_EQ(failures, 0);
}
