// Opening a log stream where any of its allocations fails: the descriptor is closed and the
// file's lock let go, so the next entry, or another client, is not kept out. Reading a log, as
// the doctor does, in memory that does not grow with the log.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <new>

#include "counting_new.h"
#include "host/error.h"
#include "log_summary.h"
#include "platform/posix/posix_file_system.h"
#include "scratch_folder.h"

namespace murl {
namespace {

using testing_support::AllocationCount;
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

// A line of any length, or a run of zero bytes such as a crash leaves, read a chunk at a time:
// past its first chunks, reading allocates nothing, so the doctor's memory stays bounded.
TEST(LogReadingAllocations, ALongLineOrRunOfZerosAllocatesNothingPastItsStart) {
    for (const char byte : {'x', '\0'}) {
        SCOPED_TRACE(byte == 'x' ? "a long line" : "a run of zero bytes");
        const std::string chunk(size_t{1} << 16, byte);
        doctor::LogSummary summary(5);
        summary.Read("1/2/2026 10:00:00\tError in SaveVariables: Disk full. At line 0\r\n");
        summary.Read(chunk);
        const uint64_t before = AllocationCount();
        for (int i = 0; i < 1024; ++i) summary.Read(chunk);
        EXPECT_EQ(AllocationCount() - before, 0u) << "while reading 64 MiB more";
        summary.End();
        EXPECT_EQ(summary.bytes(), 1025 * chunk.size() + 64);
    }
}

}  // namespace
}  // namespace murl
