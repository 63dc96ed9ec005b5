// Log entries reach the file whole or not at all: write(2) failing, stopping short or being
// interrupted at every point of an entry, a real file system that fills up, and another client
// appending to the same log while this one fails or archives it.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/cls_log.h"
#include "log_assertions.h"
#include "log_on_disk.h"
#include "platform/file_rules.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/system_calls.h"
#include "scratch_folder.h"

namespace murl {
namespace {

using posix::system_calls;
using testing_support::FailsAsLogOutput;
using testing_support::NoSettings;
using testing_support::ReadBytes;
using testing_support::ScratchFolder;
using testing_support::WriteBytes;

// What the n-th write(2) of a case does: pass at most `bytes` of its data on, or fail with
// `error`. Writes beyond the script pass everything on.
struct WriteStep {
    size_t bytes;
    int error;
};
constexpr size_t kAll = static_cast<size_t>(-1);

std::vector<WriteStep> script;
size_t next_step = 0;
int truncate_error = 0;  // ftruncate(2) fails with this when non-zero

ssize_t ScriptedWrite(int fd, const void* bytes, size_t size) {
    const WriteStep step = next_step < script.size() ? script[next_step] : WriteStep{kAll, 0};
    ++next_step;
    if (step.error != 0) {
        errno = step.error;
        return -1;
    }
    return system_calls.real().write(fd, bytes, std::min(size, step.bytes));
}

int ScriptedTruncate(int fd, off_t length) {
    if (truncate_error != 0) {
        errno = truncate_error;
        return -1;
    }
    return system_calls.real().ftruncate(fd, length);
}

// Puts the scripted calls in place for one case and the real ones back afterwards.
class ScriptedCalls {
public:
    ScriptedCalls(std::vector<WriteStep> steps, int truncate_fails) {
        script = std::move(steps);
        next_step = 0;
        truncate_error = truncate_fails;
        stand_ins->write = ScriptedWrite;
        stand_ins->ftruncate = ScriptedTruncate;
    }

    StandIns<posix::SystemCalls> stand_ins{system_calls};
};

class WholeEntries : public testing_support::LogOnDisk {};

TEST_F(WholeEntries, AWriteThatFailsOrStopsShortLeavesTheFileAsItWas) {
    constexpr char kBefore[] = "first\r\n";
    const std::string kEntry = "\r\n\r\nsecond entry\r\n";  // two blank lines, then the text
    struct Case {
        const char* name;
        std::vector<WriteStep> writes;  // the blank lines are the first write, the text the next
        int truncate_error;
        std::u16string_view description;  // empty: the entry is written
    };
    const Case kCases[] = {
        {"disk full at once", {{0, ENOSPC}}, 0, u"Disk full"},
        {"disk full after the blank lines", {{kAll, 0}, {0, ENOSPC}}, 0, u"Disk full"},
        {"short, then disk full", {{kAll, 0}, {5, 0}, {0, ENOSPC}}, 0, u"Disk full"},
        {"short within the blank lines", {{1, 0}, {0, EDQUOT}}, 0, u"Disk full"},
        {"file size limit",
         {{kAll, 0}, {3, 0}, {0, EFBIG}},
         0,
         u"Path/File access error: File too large"},
        {"device error", {{kAll, 0}, {0, EIO}}, 0, u"Device I/O error"},
        {"nothing written, no error", {{kAll, 0}, {0, 0}}, 0, u"Disk full"},
        {"cannot be cut back either", {{kAll, 0}, {0, ENOSPC}}, EIO, u"Disk full"},
        {"interrupted, then whole", {{0, EINTR}, {kAll, 0}, {0, EINTR}}, 0, u""},
        {"one byte at a time", std::vector<WriteStep>(20, {1, 0}), 0, u""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        WriteBytes(log_path, kBefore);
        log.File(ToUtf16(log_path));
        log.BlankLines(2);
        {
            ScriptedCalls calls(c.writes, c.truncate_error);
            if (c.description.empty()) {
                EXPECT_NO_THROW(log.Output(u"second entry", 0));
            } else {
                EXPECT_TRUE(
                    FailsAsLogOutput([&] { log.Output(u"second entry", 0); }, c.description));
                EXPECT_EQ(log.Active(), kHostFalse);
            }
        }
        if (c.description.empty()) {
            EXPECT_EQ(ReadBytes(log_path), kBefore + kEntry);
        } else if (c.truncate_error == 0) {
            EXPECT_EQ(ReadBytes(log_path), kBefore);
        }
        // The next entry starts on a line of its own.
        log.File(ToUtf16(log_path));
        log.BlankLines(0);
        log.Output(u"next", 0);
        EXPECT_EQ(ReadBytes(log_path)->substr(ReadBytes(log_path)->size() - 7), "\nnext\r\n");
    }
}

// Another client creates the log, and writes to it, between this client's look for the log and
// its creation of it: the other client's entry stays and this one's follows.
std::string raced_path;
int OtherClientCreatesFirst(const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) != 0 && path == raced_path) {
        const int other = system_calls.real().open(path, O_WRONLY | O_CREAT | O_APPEND, 0666);
        constexpr char kOthers[] = "other client\r\n";
        if (other < 0 || system_calls.real().write(other, kOthers, sizeof kOthers - 1) < 0)
            return -1;
        system_calls.real().close(other);
    }
    return system_calls.real().open(path, flags, mode);
}

TEST_F(WholeEntries, AnotherClientCreatingTheLogFirstKeepsItsEntry) {
    raced_path = log_path;
    ScriptedCalls calls({}, 0);
    calls.stand_ins->open = OtherClientCreatesFirst;
    log.File(ToUtf16(log_path));
    log.Output(u"this client", 0);
    EXPECT_EQ(ReadBytes(log_path), "other client\r\nthis client\r\n");
}

// A small file system of its own, where this process may mount one.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& where) : where_(where) {
        mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", 0, "size=64k") == 0;
        error_ = errno;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount(where_.c_str());
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool mounted() const { return mounted_; }
    int error() const { return error_; }

private:
    std::string where_;
    bool mounted_ = false;
    int error_ = 0;
};

TEST(WholeEntriesOnDisk, AFullDiskKeepsTheLogWhole) {
    ScratchFolder folder;
    SmallFileSystem disk(folder.path());
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here (" << std::strerror(disk.error())
                     << "); the full disk is covered by the scripted writes only";
    }
    NoSettings settings;
    PosixPlatform posix{folder.Text()};
    clsLog log{posix.MakePlatform(settings)};
    const std::string log_path = folder.Path("murl_err.log");
    log.File(ToUtf16(log_path));
    log.Output(u"before", 0);

    // Fill the disk; the log's last page still has room for a little.
    const std::string filler_path = folder.Path("filler");
    FILE* filler = std::fopen(filler_path.c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    const std::string block(1024, 'x');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    }
    std::fclose(filler);

    const std::u16string long_entry(10000, u'e');
    EXPECT_TRUE(FailsAsLogOutput([&] { log.Output(long_entry, 0); }, u"Disk full"));
    EXPECT_EQ(ReadBytes(log_path), "before\r\n");

    std::remove(filler_path.c_str());
    log.File(ToUtf16(log_path));
    log.Output(u"after", 0);
    EXPECT_EQ(ReadBytes(log_path), "before\r\nafter\r\n");
}

// Runs `client` in a process of its own; its exit status is what it returns.
pid_t StartClient(const std::function<int()>& client) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(client());
    return pid;
}

int ExitStatus(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A client that may not grow files past a few bytes, so that every entry it starts fails and
// is cut back, until `stop_path` exists. Returns 0 when some of its entries failed.
int FailEntriesUntil(const ScratchFolder& folder, const std::string& log_path,
                     const std::string& stop_path) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{512, 512};
    if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return 2;
    NoSettings settings;
    PosixPlatform posix{folder.Text()};
    clsLog log{posix.MakePlatform(settings)};
    log.BlankLines(3);
    const std::u16string too_long(size_t{64} * 1024, u'x');  // takes a while to convert, too
    int failures = 0;
    while (::access(stop_path.c_str(), F_OK) != 0) {
        log.File(ToUtf16(log_path));
        try {
            log.Output(too_long, 0);
        } catch (const Error&) {
            ++failures;
        }
        ::usleep(1000);
    }
    return failures > 0 ? 0 : 3;
}

// A client that logs "entry 0" to "entry <count - 1>", calling `written` after each; returns 1
// when any of them fails.
int AppendEntries(
    const ScratchFolder& folder, const std::string& log_path, int count,
    const std::function<void()>& written = [] {}) {
    NoSettings settings;
    PosixPlatform posix{folder.Text()};
    clsLog log{posix.MakePlatform(settings)};
    log.File(ToUtf16(log_path));
    for (int i = 0; i < count; ++i) {
        try {
            log.Output(u"entry " + DecimalText(i), 0);
        } catch (const Error&) {
            return 1;
        }
        written();
    }
    return 0;
}

// Two game clients log to one file. One of them may not grow files past a few bytes, so every
// entry it starts fails and is cut back, while the other writes entry after entry: none of the
// other's entries is cut away or torn, and nothing of the failing client's is left behind.
TEST(WholeEntriesOnDisk, AnotherClientsEntriesSurviveAFailingClient) {
    ScratchFolder folder;
    const std::string log_path = folder.Path("murl_err.log");
    const std::string stop_path = folder.Path("stop");
    constexpr int kEntries = 10000;

    const pid_t failing =
        StartClient([&] { return FailEntriesUntil(folder, log_path, stop_path); });
    const pid_t healthy = StartClient([&] { return AppendEntries(folder, log_path, kEntries); });
    EXPECT_EQ(ExitStatus(healthy), 0);
    WriteBytes(stop_path, "");
    EXPECT_EQ(ExitStatus(failing), 0);

    std::string expected;
    for (int i = 0; i < kEntries; ++i) expected += "entry " + std::to_string(i) + "\r\n";
    const std::string written = ReadBytes(log_path).value_or("");
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected)
        << "the first difference is at byte "
        << std::distance(written.begin(), std::mismatch(written.begin(), written.end(),
                                                        expected.begin(), expected.end())
                                              .first);
}

// What the logs and archives hold: how often each "entry <n>" and the filler line came.
struct Tallied {
    std::vector<int> entries;
    size_t fillers = 0;
};
constexpr std::string_view kFiller = "filler";

// Counts the lines of a log or archive in `seen`; returns what else it holds: a torn or foreign
// line, a NUL byte, an unfinished last line.
std::string Tally(const std::string& text, Tallied& seen) {
    if (text.find('\0') != std::string::npos) return "a NUL byte";
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        if (end == std::string::npos) return "an unfinished line \"" + text.substr(at) + '"';
        const std::string line = text.substr(at, end - at);
        if (line.ends_with(".log archived.")) continue;
        if (line == kFiller) {
            ++seen.fillers;
            continue;
        }
        constexpr std::string_view kEntry = "entry ";
        const char* const last = line.data() + line.size();
        int n = -1;
        if (line.starts_with(kEntry) &&
            std::from_chars(line.data() + kEntry.size(), last, n).ptr == last && n >= 0 &&
            static_cast<size_t>(n) < seen.entries.size()) {
            ++seen.entries[static_cast<size_t>(n)];
        } else {
            return "the line \"" + line + '"';
        }
    }
    return "";
}

// One end of a pipe between two clients; the other ends are closed where this is made.
class PipeEnd {
public:
    PipeEnd(int (&ends)[2], int kept) : fd_(ends[kept]) { ::close(ends[1 - kept]); }
    ~PipeEnd() { ::close(fd_); }
    PipeEnd(const PipeEnd&) = delete;
    PipeEnd& operator=(const PipeEnd&) = delete;
    // One byte; false at the end of the pipe.
    bool Read() const {
        char byte;
        ssize_t got;
        while ((got = ::read(fd_, &byte, 1)) < 0 && errno == EINTR) {
        }
        return got == 1;
    }
    // Whatever is there, waiting for at least one byte; false at the end of the pipe.
    bool Drain() const {
        char bytes[4096];
        ssize_t got;
        while ((got = ::read(fd_, bytes, sizeof bytes)) < 0 && errno == EINTR) {
        }
        return got > 0;
    }
    void Write() const {
        while (::write(fd_, "x", 1) < 0 && errno == EINTR) {
        }
    }

private:
    int fd_;
};

// How long the first archive's copy stays in its first read, holding the log's lock: as long as
// a log of several gigabytes takes on a fast disk, and longer than any stream waits for a stream.
constexpr auto kLongCopy = 3 * file_rules::kLockWait;

int copy_started = -1;  // the archiving client tells the appending client here

ssize_t SlowFirstRead(int fd, void* bytes, size_t size) {
    if (copy_started >= 0) {
        while (::write(copy_started, "x", 1) < 0 && errno == EINTR) {
        }
        ::close(copy_started);
        copy_started = -1;
        std::this_thread::sleep_for(kLongCopy);
    }
    return system_calls.real().read(fd, bytes, size);
}

// One game client archives the log again and again while another appends entry after entry and
// a third fails at every entry: each entry lands whole in the log or in one archive, none is
// lost or kept twice, and no failed entry cuts an emptied log back to a length full of NULs.
// The log starts large, and its archive outlasts a stream's wait: the appending client's first
// entry waits it out, as long as it takes. After that, the archiving client archives again
// whenever the appending client has written since its last round.
TEST(WholeEntriesOnDisk, ArchivingWhileAnotherClientAppendsKeepsEveryEntryOnce) {
    ScratchFolder folder;
    const std::string log_path = folder.Path("murl_err.log");
    const std::string archives = folder.Path("archives");
    const std::string stop_path = folder.Path("stop");
    std::filesystem::create_directory(archives);
    constexpr int kEntries = 20000;
    constexpr size_t kFillers = 8 << 20;  // lines; 64 MiB
    {
        std::string filler;
        filler.reserve(kFillers * (kFiller.size() + 2));
        for (size_t i = 0; i < kFillers; ++i) filler.append(kFiller).append("\r\n");
        WriteBytes(log_path, filler);
    }
    int started[2], entries[2];
    ASSERT_EQ(::pipe(started), 0);
    ASSERT_EQ(::pipe(entries), 0);

    const pid_t archiving = StartClient([&] {
        ::close(started[0]);
        copy_started = started[1];
        PipeEnd written(entries, 0);
        StandIns stand_ins(system_calls);
        stand_ins->read = SlowFirstRead;
        NoSettings settings;
        PosixPlatform posix{folder.Text()};
        clsLog log{posix.MakePlatform(settings)};
        log.File(ToUtf16(log_path));
        int rounds = 0;
        do {
            log.ArchiveLog(ToUtf16(archives + '/' + std::to_string(rounds++) + ".log"));
        } while (written.Drain());
        return rounds > 2 ? 0 : 3;
    });
    const pid_t appending = StartClient([&] {
        PipeEnd told(started, 0);
        PipeEnd written(entries, 1);
        if (!told.Read()) return 5;
        const auto start = std::chrono::steady_clock::now();
        std::chrono::steady_clock::duration first{};
        const int status = AppendEntries(folder, log_path, kEntries, [&] {
            if (first == first.zero()) first = std::chrono::steady_clock::now() - start;
            written.Write();
        });
        return status != 0 ? status : first >= kLongCopy - file_rules::kLockWait ? 0 : 4;
    });
    ::close(started[0]);
    ::close(started[1]);
    ::close(entries[0]);
    ::close(entries[1]);
    const pid_t failing =
        StartClient([&] { return FailEntriesUntil(folder, log_path, stop_path); });
    EXPECT_EQ(ExitStatus(appending), 0) << "1: an entry failed; 4: the first did not wait";
    WriteBytes(stop_path, "");
    EXPECT_EQ(ExitStatus(archiving), 0);
    EXPECT_EQ(ExitStatus(failing), 0);

    std::vector<std::string> files = {log_path};
    for (const auto& archive : std::filesystem::directory_iterator(archives)) {
        files.push_back(archive.path().string());
    }
    Tallied seen{std::vector<int>(kEntries, 0)};
    for (const std::string& file : files) {
        const std::string problem = Tally(ReadBytes(file).value_or(""), seen);
        EXPECT_EQ(problem, "") << "in " << file;
    }
    EXPECT_EQ(ReadBytes(archives + "/0.log")->substr(0, kFiller.size() + 2), "filler\r\n");
    EXPECT_EQ(seen.fillers, kFillers);
    const auto first = [&](auto which) {
        return std::distance(seen.entries.begin(),
                             std::find_if(seen.entries.begin(), seen.entries.end(), which));
    };
    const auto lost = [](int n) { return n == 0; };
    const auto twice = [](int n) { return n > 1; };
    EXPECT_EQ(std::count_if(seen.entries.begin(), seen.entries.end(), lost), 0)
        << "entries lost; the first is entry " << first(lost);
    EXPECT_EQ(std::count_if(seen.entries.begin(), seen.entries.end(), twice), 0)
        << "entries kept more than once; the first is entry " << first(twice);
}

}  // namespace
}  // namespace murl
