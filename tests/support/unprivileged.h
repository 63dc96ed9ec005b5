#pragma once
// Test support: running part of a test as an ordinary user, so that read-only files and refused
// access are refused even when the tests run as root (as they do in CI).

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>

namespace murl::testing_support {

inline constexpr uid_t kUnprivilegedId = 65534;  // "nobody"

// Runs `body` as an unprivileged user; as root, in a child process that gives up its
// privileges and owns `folder` (and what is in it). The body's own assertions are reported as
// they happen; the result says whether any of them failed.
inline ::testing::AssertionResult AsUnprivileged(const std::string& folder,
                                                 const std::function<void()>& body) {
    if (::geteuid() != 0) {
        body();
        return ::testing::AssertionSuccess();
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        if (::chown(entry.path().c_str(), kUnprivilegedId, kUnprivilegedId) != 0) {
            return ::testing::AssertionFailure() << "cannot hand over " << entry.path();
        }
    }
    if (ec || ::chown(folder.c_str(), kUnprivilegedId, kUnprivilegedId) != 0) {
        return ::testing::AssertionFailure() << "cannot hand over " << folder;
    }
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0) return ::testing::AssertionFailure() << "fork failed";
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
            ::setuid(kUnprivilegedId) != 0 || ::geteuid() == 0) {
            std::fprintf(stderr, "cannot give up root\n");
            ::_exit(2);
        }
        const ::testing::TestResult& result =
            *::testing::UnitTest::GetInstance()->current_test_info()->result();
        const int before = result.total_part_count();
        try {
            body();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "exception as the unprivileged user: " << e.what();
        } catch (...) {
            ADD_FAILURE() << "exception as the unprivileged user";
        }
        bool failed = false;
        for (int i = before; i < result.total_part_count(); ++i) {
            failed = failed || result.GetTestPartResult(i).failed();
        }
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(failed ? 1 : 0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return ::testing::AssertionFailure() << "lost child";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ::testing::AssertionSuccess();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) {
        return ::testing::AssertionFailure() << "could not give up root";
    }
    return ::testing::AssertionFailure()
           << "the unprivileged part failed (status " << status << "; its failures are above)";
}

}  // namespace murl::testing_support
