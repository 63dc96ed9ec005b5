#pragma once
// Guarded routines: a failure abandons the rest of the routine and becomes one error report,
// "Error in <routine>: <description>. At line <label>", written to the error log at severity 0.
// Only a failure while writing the report passes on to the caller.

#include <exception>
#include <memory>
#include <string_view>

#include "host/error.h"
#include "log/cls_log.h"

namespace murl {

void WriteErrorReport(clsLog* log, std::u16string_view routine, std::u16string_view description,
                      int line);

// `body` receives the current line label by reference and advances it as it goes.
// `log` is read only when a report is due, so a routine may create it on the way.
template <class Body>
void RunGuarded(const std::unique_ptr<clsLog>& log, std::u16string_view routine, Body&& body) {
    int line = 0;
    try {
        body(line);
    } catch (const std::exception& e) {
        WriteErrorReport(log.get(), routine, DescribeException(e), line);
    }
}

}  // namespace murl
