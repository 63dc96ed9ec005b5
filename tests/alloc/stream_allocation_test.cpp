// Opening a log stream where any of its allocations fails: the descriptor is closed and the
// file's lock let go, so the next entry, or another client, is not kept out.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <new>

#include "counting_new.h"
#include "host/error.h"
#include "platform/posix/posix_file_system.h"
#include "scratch_folder.h"

namespace murl {
namespace {

using testing_support::FailAllocation;
using testing_support::ReadBytes;
using testing_support::ScratchFolder;
using testing_support::WriteBytes;

std::ptrdiff_t OpenDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
}

bool Unlocked(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

TEST(StreamAllocations, AFailedAllocationLeavesNoDescriptorAndNoLock) {
    ScratchFolder folder;
    const std::string path = folder.Path("murl_err.log");
    WriteBytes(path, "old\r\n");
    PosixFileSystemFactory factory;
    const auto fs = factory.Create();
    const std::ptrdiff_t before = OpenDescriptors();
    bool opened = false;
    uint64_t nth = 1;
    for (; !opened; ++nth) {
        SCOPED_TRACE(testing::Message() << "allocation " << nth << " fails");
        FailAllocation(nth);
        try {
            auto stream = fs->OpenTextFile(folder.Text("murl_err.log"), kForAppending);
            FailAllocation(0);
            stream->WriteLine(u"entry");
            opened = true;
        } catch (const std::bad_alloc&) {
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::kOutOfMemory);
        }
        FailAllocation(0);
        EXPECT_EQ(OpenDescriptors(), before);
        EXPECT_TRUE(Unlocked(path));
    }
    EXPECT_GT(nth, 2u) << "opening must allocate";
    EXPECT_EQ(ReadBytes(path), "old\r\nentry\r\n");
}

}  // namespace
}  // namespace murl
