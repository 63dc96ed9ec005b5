// The POSIX file-system component: the platform's error numbers (which the fake gives too),
// read-only as the absence of write bits (also for root), copies that never leave a partial
// target, the lock a stream holds.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "file_system_cases.h"
#include "host/error.h"
#include "platform/fake/fake_file_system.h"
#include "platform/file_rules.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/system_calls.h"
#include "scratch_folder.h"
#include "text/text.h"

namespace murl {
namespace {

using file_cases::Namer;
using file_cases::Refusal;
using file_cases::Refusals;
using posix::system_calls;
using posix::SystemCalls;
using testing_support::ReadBytes;
using testing_support::ScratchFolder;
using testing_support::WriteBytes;

::testing::AssertionResult FailsWith(const std::function<void()>& call, int32_t number) {
    try {
        call();
    } catch (const Error& e) {
        if (e.number() == number) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "error " << e.number() << " \"" << e.what() << '"';
    }
    return ::testing::AssertionFailure() << "no error";
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class PosixFileSystemTest : public ::testing::Test {
public:
    void SetUp() override {
        for (const file_cases::LaidOutFile& file : file_cases::kFiles) {
            WriteBytes(folder.Path(file.name), file.bytes);
            if (file.read_only) ::chmod(folder.Path(file.name).c_str(), 0444);
        }
        std::filesystem::create_directory(folder.Path(file_cases::kFolder));
    }
    std::u16string P(const std::string& name) const { return folder.Text(name); }

    ScratchFolder folder;
    PosixFileSystemFactory factory;
    std::unique_ptr<FileSystem> fs = factory.Create();
};

TEST_F(PosixFileSystemTest, RefusalsCarryThePlatformNumbers) {
    const Namer p = [this](const std::string& name) { return P(name); };
    const auto before = Entries(folder.path());
    for (const Refusal& c : Refusals()) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(FailsWith([&] { c.call(*fs, p); }, c.number));
    }
    // Nothing was written, replaced or left behind.
    EXPECT_EQ(Entries(folder.path()), before);
    for (const file_cases::LaidOutFile& file : file_cases::kFiles) {
        EXPECT_EQ(ReadBytes(folder.Path(file.name)), file.bytes);
    }
}

// The fake goes by the same rules, so what passes on it holds on disk. It takes '\\' and '/'
// alike between a path's parts.
TEST(FakeFileSystemTest, RefusesAsThePortDoes) {
    FakeFileSystem fake;
    for (const file_cases::LaidOutFile& file : file_cases::kFiles) {
        fake.AddFile(ToUtf16(file.name), file.bytes, file.read_only ? kAttrReadOnly : 0);
    }
    fake.AddFolder(ToUtf16(file_cases::kFolder));
    const std::unique_ptr<FileSystem> fs = fake.Create();
    for (const char separator : {'/', '\\'}) {
        const Namer p = [separator](std::string name) {
            std::replace(name.begin(), name.end(), '/', separator);
            return ToUtf16(name);
        };
        for (const Refusal& c : Refusals()) {
            SCOPED_TRACE(testing::Message() << c.name << ", separator " << separator);
            EXPECT_TRUE(FailsWith([&] { c.call(*fs, p); }, c.number));
        }
    }
    for (const file_cases::LaidOutFile& file : file_cases::kFiles) {
        EXPECT_EQ(fake.Contents(ToUtf16(file.name)), file.bytes);
    }
    EXPECT_FALSE(fake.HasFile(u"copy"));
}

// The shared cut-back cases on disk: writes fail through the system-call table.
class PosixCutBackRig : public file_cases::CutBackRig {
public:
    explicit PosixCutBackRig(std::string path) : path_(std::move(path)) {}

    void LimitAppends(size_t bytes) override {
        room = bytes;
        stand_ins_->write = [](int fd, const void* data, size_t size) -> ssize_t {
            if (room == 0) return errno = ENOSPC, -1;
            const ssize_t written = system_calls.real().write(fd, data, std::min(size, room));
            if (written > 0) room -= static_cast<size_t>(written);
            return written;
        };
    }
    void Replace(const std::string& bytes) override { WriteBytes(path_, bytes); }

private:
    static inline size_t room = 0;
    std::string path_;
    StandIns<SystemCalls> stand_ins_{system_calls};
};

TEST_F(PosixFileSystemTest, AFailedWriteSetsTheLengthAtOpening) {
    for (const file_cases::CutBack& c : file_cases::CutBacks()) {
        SCOPED_TRACE(c.name);
        WriteBytes(folder.Path("log.txt"), file_cases::kBeforeCutBack);
        auto stream = fs->OpenTextFile(P("log.txt"), kForAppending);
        {
            PosixCutBackRig rig(folder.Path("log.txt"));
            EXPECT_EQ(file_cases::RunCutBack(c, *stream, rig), err::kDiskFull);
        }
        stream->Close();
        EXPECT_EQ(ReadBytes(folder.Path("log.txt")), c.after);
    }
}

class FakeCutBackRig : public file_cases::CutBackRig {
public:
    FakeCutBackRig(FakeFileSystem& fake, std::u16string path)
        : fake_(fake), path_(std::move(path)) {}
    ~FakeCutBackRig() override { fake_.LimitAppends(std::nullopt); }

    void LimitAppends(size_t bytes) override { fake_.LimitAppends(bytes); }
    void Replace(const std::string& bytes) override { fake_.AddFile(path_, bytes); }

private:
    FakeFileSystem& fake_;
    std::u16string path_;
};

TEST(FakeFileSystemTest, AFailedWriteSetsTheLengthAtOpeningAsThePortDoes) {
    FakeFileSystem fake;
    const std::unique_ptr<FileSystem> fs = fake.Create();
    for (const file_cases::CutBack& c : file_cases::CutBacks()) {
        SCOPED_TRACE(c.name);
        fake.AddFile(u"log.txt", file_cases::kBeforeCutBack);
        auto stream = fs->OpenTextFile(u"log.txt", kForAppending);
        {
            FakeCutBackRig rig(fake, u"log.txt");
            EXPECT_EQ(file_cases::RunCutBack(c, *stream, rig), err::kDiskFull);
        }
        stream->Close();
        EXPECT_EQ(fake.Contents(u"log.txt"), c.after);
    }
}

TEST_F(PosixFileSystemTest, AFailedCopyStepLeavesTheTargetAndNoTemporaryFile) {
    struct Case {
        const char* name;
        void (*fail)(SystemCalls&);
        int32_t number;
    };
    const Case kCases[] = {
        {"no temporary file",
         [](SystemCalls& s) { s.mkostemp = [](char*, int) { return errno = EMFILE, -1; }; }, 67},
        {"reading the source",
         [](SystemCalls& s) {
             s.read = [](int, void*, size_t) -> ssize_t { return errno = EIO, -1; };
         },
         57},
        {"writing the copy",
         [](SystemCalls& s) {
             s.write = [](int, const void*, size_t) -> ssize_t { return errno = ENOSPC, -1; };
         },
         61},
        {"keeping the mode",
         [](SystemCalls& s) { s.fchmod = [](int, mode_t) { return errno = EPERM, -1; }; }, 70},
        {"moving it into place",
         [](SystemCalls& s) {
             s.rename = [](const char*, const char*) { return errno = EXDEV, -1; };
         },
         75},
    };
    WriteBytes(folder.Path("old.txt"), "old\r\n");
    const auto before = Entries(folder.path());
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        StandIns stand_ins(system_calls);
        c.fail(*stand_ins);
        EXPECT_TRUE(FailsWith([&] { fs->CopyFile(P("plain.txt"), P("old.txt"), true); }, c.number));
        EXPECT_TRUE(FailsWith([&] { fs->CopyFile(P("plain.txt"), P("new.txt"), true); }, c.number));
    }
    EXPECT_EQ(Entries(folder.path()), before);
    EXPECT_EQ(ReadBytes(folder.Path("old.txt")), "old\r\n");
}

TEST_F(PosixFileSystemTest, ExistenceTellsFilesFromFolders) {
    EXPECT_TRUE(fs->FileExists(P("plain.txt")));
    EXPECT_FALSE(fs->FileExists(P("sub")));
    EXPECT_FALSE(fs->FileExists(u""));
    EXPECT_TRUE(fs->FolderExists(P("sub")));
    EXPECT_FALSE(fs->FolderExists(P("plain.txt")));
    EXPECT_FALSE(fs->FolderExists(P("none")));
}

TEST_F(PosixFileSystemTest, StreamWritesSingleByteTextWithCrLf) {
    auto stream = fs->OpenTextFile(P("plain.txt"), kForAppending);
    stream->WriteBlankLines(0);
    stream->WriteBlankLines(20);
    stream->WriteLine(u"a\u00e9\u20ac\u2713\U0001F600");
    EXPECT_TRUE(FailsWith([&] { stream->WriteBlankLines(-1); }, 5));
    stream->Close();
    EXPECT_TRUE(FailsWith([&] { stream->WriteLine(u"late"); }, 5));
    std::string expected = "plain\r\n";
    for (int i = 0; i < 20; ++i) expected += "\r\n";
    expected += "a\xe9\x80??\r\n";
    EXPECT_EQ(ReadBytes(folder.Path("plain.txt")), expected);
}

// Each call of a stream is one write, however many lines it holds, up to the most blank lines
// that go in one write.
TEST_F(PosixFileSystemTest, EachStreamCallIsOneWrite) {
    static int writes;
    const struct {
        int32_t blank_lines;
        int writes;
    } kCases[] = {
        {0, 0},
        {1, 1},
        {file_rules::kBlankLinesPerWrite, 1},
        {file_rules::kBlankLinesPerWrite + 1, 2},
        {2 * file_rules::kBlankLinesPerWrite + 1, 3},
    };
    StandIns stand_ins(system_calls);
    stand_ins->write = [](int fd, const void* bytes, size_t size) {
        ++writes;
        return system_calls.real().write(fd, bytes, size);
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::Message() << c.blank_lines << " blank lines");
        WriteBytes(folder.Path("plain.txt"), "");
        auto stream = fs->OpenTextFile(P("plain.txt"), kForAppending);
        writes = 0;
        stream->WriteBlankLines(c.blank_lines);
        EXPECT_EQ(writes, c.writes);
        writes = 0;
        stream->WriteLine(u"a line of its own");
        EXPECT_EQ(writes, 1);
        stream->Close();
        std::string expected;
        for (int32_t i = 0; i < c.blank_lines; ++i) expected += "\r\n";
        EXPECT_EQ(ReadBytes(folder.Path("plain.txt")), expected + "a line of its own\r\n");
    }
}

// flock(2) fails with `kError`; unlocking succeeds.
template <int kError>
void LockingFailsWith(SystemCalls& s) {
    s.flock = [](int, int op) { return op & LOCK_UN ? 0 : (errno = kError, -1); };
}

// The two ways to take a file's lock: a stream that writes a line, and a held lock.
struct FileTaker {
    const char* name;
    void (*take)(FileSystem&, const std::u16string& path);
    const char* writes;
};
const FileTaker kFileTakers[] = {
    {"a stream",
     [](FileSystem& fs, const std::u16string& path) {
         auto stream = fs.OpenTextFile(path, kForAppending);
         stream->WriteLine(u"more");
         stream->Close();
     },
     "more\r\n"},
    {"a held lock", [](FileSystem& fs, const std::u16string& path) { fs.LockFile(path); }, ""},
};

// A stream holds the file's lock from opening to closing, and a held lock as long as it lives.
// While another open of the file holds it, as another process's would, either waits a while
// and then gives up without writing; a file system without locks is written all the same.
TEST_F(PosixFileSystemTest, StreamsAndHeldLocksTakeTheFilesLock) {
    static int interruptions;
    struct Case {
        const char* name;
        void (*stand_in)(SystemCalls&);  // nullptr: another open of the file holds the lock
        int32_t number;                  // 0: the lock is taken
    };
    const Case kCases[] = {
        {"held elsewhere", nullptr, 70},
        {"not supported", LockingFailsWith<ENOLCK>, 0},
        {"not supported by the file system", LockingFailsWith<EOPNOTSUPP>, 0},
        {"not for this kind of file", LockingFailsWith<EINVAL>, 0},
        {"interrupted",
         [](SystemCalls& s) {
             s.flock = [](int fd, int op) {
                 return interruptions++ == 0 ? (errno = EINTR, -1)
                                             : system_calls.real().flock(fd, op);
             };
         },
         0},
        {"failing", LockingFailsWith<EIO>, 57},
    };
    for (const Case& c : kCases) {
        for (const FileTaker& taker : kFileTakers) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << taker.name);
            WriteBytes(folder.Path("plain.txt"), "plain\r\n");
            interruptions = 0;
            const int other = ::open(folder.Path("plain.txt").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(other, 0);
            {
                StandIns stand_ins(system_calls);
                if (c.stand_in) {
                    c.stand_in(*stand_ins);
                } else {
                    ASSERT_EQ(::flock(other, LOCK_EX), 0);
                }
                const auto start = std::chrono::steady_clock::now();
                if (c.number != 0) {
                    EXPECT_TRUE(FailsWith([&] { taker.take(*fs, P("plain.txt")); }, c.number));
                } else {
                    EXPECT_NO_THROW(taker.take(*fs, P("plain.txt")));
                }
                if (!c.stand_in) {
                    EXPECT_GE(std::chrono::steady_clock::now() - start, file_rules::kLockWait);
                }
            }
            ::close(other);
            EXPECT_EQ(ReadBytes(folder.Path("plain.txt")),
                      std::string("plain\r\n") + (c.number != 0 ? "" : taker.writes));
        }
    }
}

// While a component holds a file's lock, another component's stream on the file is kept out
// (on the fake at once, where a port waits for as long as the lock lives), and the holder copies
// the file and empties it; once it lets go, the stream gets in. `read` gives a file's bytes.
void CheckHeldLock(FileSystemFactory& factory, const Namer& p,
                   const std::function<std::string(const std::string&)>& read) {
    const auto holder = factory.Create();
    auto lock = holder->LockFile(p("plain.txt"));
    EXPECT_TRUE(FailsWith([&] { factory.Create()->OpenTextFile(p("plain.txt"), 8); }, 70));
    holder->CopyFile(p("plain.txt"), p("copy.txt"), true);
    holder->CreateTextFile(p("plain.txt"), true);
    EXPECT_TRUE(FailsWith([&] { factory.Create()->LockFile(p("plain.txt")); }, 70));
    lock.reset();
    auto stream = factory.Create()->OpenTextFile(p("plain.txt"), 8);
    stream->WriteLine(u"after");
    stream->Close();
    EXPECT_EQ(read("copy.txt"), "plain\r\n");
    EXPECT_EQ(read("plain.txt"), "after\r\n");
}

// Locks of a byte range (the held lock's mark) fail with `kError`.
template <int kError>
void MarkingFailsWith(SystemCalls& s) {
    s.lock_range = [](int, int, struct flock*) { return errno = kError, -1; };
}

// A held lock is waited for as long as it lives, also past a stream's wait: a stream on the file
// and another held lock, each on a thread of its own, get in only once the holder has copied
// the file, emptied it and let go. Where the file system cannot mark it, it is given up on as
// a stream's is, and taking it fails no more than that.
TEST_F(PosixFileSystemTest, AHeldLockKeepsStreamsWaitingWhileTheFileIsCopiedAndEmptied) {
    const struct {
        const char* name;
        void (*stand_in)(SystemCalls&);
        bool waited_for;
    } kMarks[] = {
        {"marked", nullptr, true},
        {"no range locks here", MarkingFailsWith<EINVAL>, false},
        {"range locks failing", MarkingFailsWith<EIO>, false},
    };
    for (const auto& mark : kMarks) {
        for (const FileTaker& waiter : kFileTakers) {
            SCOPED_TRACE(testing::Message() << mark.name << ", " << waiter.name);
            WriteBytes(folder.Path("plain.txt"), "plain\r\n");
            StandIns stand_ins(system_calls);
            if (mark.stand_in) mark.stand_in(*stand_ins);
            const auto holder = factory.Create();
            auto lock = holder->LockFile(P("plain.txt"));
            std::atomic<bool> done = false;
            std::optional<int32_t> failure;
            std::thread other([&] {
                try {
                    waiter.take(*factory.Create(), P("plain.txt"));
                } catch (const Error& e) {
                    failure = e.number();
                }
                done = true;
            });
            if (!mark.waited_for) {
                other.join();  // it gives up by itself
                EXPECT_EQ(failure, err::kPermissionDenied);
                lock.reset();
                EXPECT_EQ(ReadBytes(folder.Path("plain.txt")), "plain\r\n");
                continue;
            }
            std::this_thread::sleep_for(2 * file_rules::kLockWait);
            EXPECT_FALSE(done) << "it stopped waiting";
            holder->CopyFile(P("plain.txt"), P("copy.txt"), true);
            holder->CreateTextFile(P("plain.txt"), true);
            lock.reset();
            other.join();
            EXPECT_EQ(failure, std::nullopt);
            EXPECT_EQ(ReadBytes(folder.Path("copy.txt")), "plain\r\n");
            EXPECT_EQ(ReadBytes(folder.Path("plain.txt")), waiter.writes);
        }
    }
}

TEST(FakeFileSystemTest, AHeldLockKeepsStreamsOutAsThePortsLockDoes) {
    FakeFileSystem fake;
    fake.AddFile(u"plain.txt", "plain\r\n");
    CheckHeldLock(
        fake, [](const std::string& name) { return ToUtf16(name); },
        [&](const std::string& name) { return fake.Contents(ToUtf16(name)); });
    EXPECT_EQ(fake.held_locks(), 0);
}

TEST_F(PosixFileSystemTest, CopyReplacesAndKeepsTheSourceMode) {
    WriteBytes(folder.Path("old.txt"), "old, longer than the new\r\n");
    fs->CopyFile(P("plain.txt"), P("old.txt"), true);
    fs->CopyFile(P("locked.txt"), P("sub/locked.txt"), false);
    EXPECT_EQ(ReadBytes(folder.Path("old.txt")), "plain\r\n");
    EXPECT_EQ(ReadBytes(folder.Path("sub/locked.txt")), "locked\r\n");
    EXPECT_FALSE(testing_support::HasWriteBits(folder.Path("sub/locked.txt")));
    EXPECT_EQ(Entries(folder.Path("sub")), std::vector<std::string>{"locked.txt"});
}

TEST_F(PosixFileSystemTest, ReadOnlyAttributeTakesAllWriteBits) {
    const std::string path = folder.Path("plain.txt");
    ::chmod(path.c_str(), 0666);
    auto file = fs->GetFile(P("plain.txt"));
    struct stat info;

    file->SetAttributes(kAttrReadOnly | kAttrArchive);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    EXPECT_TRUE(FailsWith([&] { fs->OpenTextFile(P("plain.txt"), 8); }, 70));

    file->SetAttributes(kAttrArchive);
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_NO_THROW(fs->OpenTextFile(P("plain.txt"), 8));
}

TEST_F(PosixFileSystemTest, SameFileIsOneFileHoweverSpelt) {
    std::filesystem::create_symlink(folder.Path("plain.txt"), folder.Path("symbolic.txt"));
    std::filesystem::create_hard_link(folder.Path("plain.txt"), folder.Path("hard.txt"));
    WriteBytes(folder.Path("twin.txt"), "plain\r\n");
    const struct {
        const char* name;
        std::string path;
        bool same;
    } kCases[] = {
        {"the same path", "plain.txt", true},
        {"through a dot folder", "./plain.txt", true},
        {"through its folder", "sub/../plain.txt", true},
        {"a symbolic link", "symbolic.txt", true},
        {"a hard link", "hard.txt", true},
        {"a copy", "twin.txt", false},
        {"a missing file", "none.txt", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fs->SameFile(P("plain.txt"), P(c.path)), c.same);
        EXPECT_EQ(fs->SameFile(P(c.path), P("plain.txt")), c.same);
    }
    EXPECT_FALSE(fs->SameFile(P("none.txt"), P("none.txt")));
}

// What the stand-ins of the next test saw, and the one failure they were told to give.
struct SeamRecord {
    static inline int interruptions = 0;  // opens still to be interrupted
    static inline int open_errno = 0;     // every open fails with this when set
    static inline int fstat_errno = 0;
    static inline std::vector<int> opened, closed;

    static void Reset() {
        interruptions = open_errno = fstat_errno = 0;
        opened.clear();
        closed.clear();
    }
    static void StandIn(SystemCalls& s) {
        s.open = [](const char* path, int flags, mode_t mode) {
            if (interruptions > 0) return --interruptions, errno = EINTR, -1;
            if (open_errno != 0) return errno = open_errno, -1;
            const int fd = system_calls.real().open(path, flags, mode);
            if (fd >= 0) opened.push_back(fd);
            return fd;
        };
        s.fstat = [](int fd, struct stat* info) {
            if (fstat_errno != 0) return errno = fstat_errno, -1;
            return system_calls.real().fstat(fd, info);
        };
        s.close = [](int fd) {
            closed.push_back(fd);
            return system_calls.real().close(fd);
        };
    }
};

// Opening through the system-call table: an interrupted open is tried again, a descriptor is
// closed whatever fails after it was opened, and a FIFO without a reader is refused as the
// FIFO itself is.
TEST_F(PosixFileSystemTest, OpeningSurvivesInterruptionsAndNeverLeaksADescriptor) {
    ASSERT_EQ(::mkfifo(folder.Path("fifo").c_str(), 0666), 0);
    std::string not_a_file;
    try {
        fs->OpenTextFile(P("fifo"), kForAppending);
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 75);
        not_a_file = ToUtf8(e.description());
    }
    ASSERT_FALSE(not_a_file.empty()) << "a FIFO was opened";
    struct Case {
        const char* name;
        void (*fail)();
        int32_t number;  // 0: succeeds
        std::string description;
    };
    const Case kCases[] = {
        {"an open interrupted twice", [] { SeamRecord::interruptions = 2; }, 0, ""},
        {"status failing after the open", [] { SeamRecord::fstat_errno = EIO; }, 57,
         "Device I/O error"},
        {"a FIFO without a reader", [] { SeamRecord::open_errno = ENXIO; }, 75, not_a_file},
    };
    const struct {
        const char* name;
        std::function<void(FileSystem&, const PosixFileSystemTest&)> call;
    } kOpens[] = {
        {"append",
         [](FileSystem& fs, const PosixFileSystemTest& t) {
             fs.OpenTextFile(t.P("plain.txt"), kForAppending)->WriteLine(u"more");
         }},
        {"create", [](FileSystem& fs,
                      const PosixFileSystemTest& t) { fs.CreateTextFile(t.P("new.txt"), true); }},
        {"copy",
         [](FileSystem& fs, const PosixFileSystemTest& t) {
             fs.CopyFile(t.P("plain.txt"), t.P("copy.txt"), true);
         }},
        {"lock",
         [](FileSystem& fs, const PosixFileSystemTest& t) { fs.LockFile(t.P("plain.txt")); }},
    };
    for (const Case& c : kCases) {
        for (const auto& open : kOpens) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << open.name);
            StandIns stand_ins(system_calls);
            SeamRecord::Reset();
            SeamRecord::StandIn(*stand_ins);
            c.fail();
            try {
                open.call(*fs, *this);
                EXPECT_EQ(c.number, 0) << "no error";
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), c.number);
                EXPECT_EQ(ToUtf8(e.description()), c.description);
            }
            EXPECT_EQ(SeamRecord::interruptions, 0);
            auto opened = SeamRecord::opened;
            auto closed = SeamRecord::closed;
            std::sort(opened.begin(), opened.end());
            std::sort(closed.begin(), closed.end());
            EXPECT_TRUE(std::includes(closed.begin(), closed.end(), opened.begin(), opened.end()))
                << opened.size() << " opened, " << closed.size() << " closed";
        }
    }
}

// Stand-ins go with the case that put them in, however it ends: the next case writes through
// the real calls.
TEST_F(PosixFileSystemTest, StandInsGoWithTheirCase) {
    const struct {
        const char* name;
        bool throws;
    } kEnds[] = {{"returns", false}, {"throws", true}};
    for (const auto& end : kEnds) {
        SCOPED_TRACE(end.name);
        try {
            StandIns stand_ins(system_calls);
            stand_ins->open = [](const char*, int, mode_t) { return errno = EIO, -1; };
            stand_ins->write = [](int, const void*, size_t) -> ssize_t { return errno = EIO, -1; };
            if (end.throws) throw std::runtime_error("the case failed");
        } catch (const std::runtime_error&) {
        }
        WriteBytes(folder.Path("plain.txt"), "");
        EXPECT_NO_THROW(fs->OpenTextFile(P("plain.txt"), kForAppending)->WriteLine(u"real"));
        EXPECT_EQ(ReadBytes(folder.Path("plain.txt")), "real\r\n");
    }

    // A holder within another gives back the outer one's stand-ins, not the real calls.
    StandIns outer(system_calls);
    outer->open = [](const char*, int, mode_t) { return errno = EIO, -1; };
    { StandIns inner(system_calls); }
    EXPECT_THROW(fs->OpenTextFile(P("plain.txt"), kForAppending), Error);
}

}  // namespace
}  // namespace murl
