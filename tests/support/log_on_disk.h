#pragma once
// Test support: the log writing to murl_err.log in a scratch module folder through the POSIX
// ports, for the tests that watch what a real file system does to it.

#include <gtest/gtest.h>

#include <string>

#include "log/cls_log.h"
#include "platform/posix/posix_platform.h"
#include "scratch_folder.h"

namespace murl::testing_support {

class LogOnDisk : public ::testing::Test {
protected:
    ScratchFolder folder;
    NoSettings settings;
    PosixPlatform posix{folder.Text()};
    clsLog log{posix.MakePlatform(settings)};
    std::string log_path = folder.Path("murl_err.log");
};

}  // namespace murl::testing_support
