#pragma once
// Assertions shared by the log tests; used as EXPECT_TRUE(...) so failures name the caller.

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

#include "host/error.h"
#include "text/text.h"

namespace murl::testing_support {

// `call` fails with the log's own error carrying `description`.
inline ::testing::AssertionResult FailsAsLogOutput(const std::function<void()>& call,
                                                   std::u16string_view description) {
    try {
        call();
    } catch (const Error& e) {
        if (e.number() == err::kLogOutput && e.source() == u"Log::Output" &&
            e.description() == description) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "error " << e.number() << " from \""
                                             << ToUtf8(e.source()) << "\": \"" << e.what() << '"';
    }
    return ::testing::AssertionFailure() << "no error";
}

}  // namespace murl::testing_support
