// The log archive on a real folder with a fixed clock, and with the fake file system failing
// at each step against what must survive.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "log/cls_log.h"
#include "log_assertions.h"
#include "platform/fake/fake_platform.h"
#include "platform/posix/posix_platform.h"
#include "scratch_folder.h"

namespace murl {
namespace {

using testing_support::FailsAsLogOutput;
using testing_support::HasWriteBits;
using testing_support::NoSettings;
using testing_support::ReadBytes;
using testing_support::ScratchFolder;
using testing_support::WriteBytes;

constexpr char kOld[] = "old entry\r\n";
constexpr char kReadOnlyNotice[] = "Archive File Exists and set to [READ ONLY].\r\n";

// A log in a real module folder, with its own clock.
struct DiskLog {
    explicit DiskLog(DateTime today = {2007, 3, 5, 12, 0, 0}) : clock(today) {
        log.File(ToUtf16(log_path));
    }
    bool IsFolder(const std::string& path) const { return std::filesystem::is_directory(path); }

    ScratchFolder folder;
    NoSettings settings;
    PosixPlatform posix{folder.Text()};
    FakeClock clock;
    FakeMessageBox box;
    clsLog log{Platform{posix.files, clock, box, posix.app, settings, u'/'}};
    std::string log_path = folder.Path("murl_err.log");
    std::string arch = folder.Path("ARCH");
};

TEST(LogArchive, DefaultPathIsDatedInTheArchFolder) {
    struct Case {
        const char* name;
        DateTime today;
        bool arch_exists;
        HostBool date_time, active;
        std::optional<std::string> log;  // nullopt: no log file yet
        const char* archive;
        const char* prefix;  // of the " archived." entry
    };
    const Case kCases[] = {
        {"5 March", {2007, 3, 5, 12, 0, 0}, false, 0, -1, kOld, "07_3_5_murl.log", ""},
        {"15 October", {2007, 10, 15, 12, 0, 0}, true, 0, -1, kOld, "07_10_15_murl.log", ""},
        {"date-time stamp",
         {2010, 1, 9, 8, 7, 6},
         false,
         -1,
         -1,
         kOld,
         "10_1_9_murl.log",
         "2010-01-09 08:07:06\t"},
        {"missing log", {2007, 3, 5, 12, 0, 0}, false, 0, -1, std::nullopt, "07_3_5_murl.log", ""},
        {"inactive log", {2007, 3, 5, 12, 0, 0}, false, 0, 0, kOld, "07_3_5_murl.log", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        DiskLog t(c.today);
        if (c.arch_exists) std::filesystem::create_directory(t.arch);
        if (c.log) WriteBytes(t.log_path, *c.log);
        t.log.LogDateTime(c.date_time);
        t.log.Active(c.active);

        t.log.ArchiveLog(u"");

        const std::string archive = t.arch + "/" + c.archive;
        EXPECT_EQ(ReadBytes(archive), c.log.value_or(""));
        EXPECT_FALSE(HasWriteBits(archive));
        EXPECT_EQ(ReadBytes(t.log_path), c.active ? c.prefix + archive + " archived.\r\n" : "");
    }
}

TEST(LogArchive, SecondCallTheSameDayMeetsTheReadOnlyArchive) {
    DiskLog t;
    WriteBytes(t.log_path, kOld);
    t.log.SeverityLevel(1);
    t.log.ArchiveLog(u"");
    t.log.Output(u"second", 0);

    EXPECT_NO_THROW(t.log.ArchiveLog(u""));

    const std::string archive = t.arch + "/07_3_5_murl.log";
    EXPECT_EQ(ReadBytes(archive), kOld);
    EXPECT_EQ(ReadBytes(t.log_path), archive + " archived.\r\nsecond\r\n" + kReadOnlyNotice);
}

TEST(LogArchive, CallerGivenPathIsUsedUnchanged) {
    struct Case {
        const char* name;
        const char* relative;
        bool archived;
    };
    const Case kCases[] = {
        {"existing folder", "mine.log", true},
        {"missing folder", "nowhere/mine.log", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        DiskLog t;
        WriteBytes(t.log_path, kOld);
        t.log.SeverityLevel(1);
        const std::string archive = t.folder.Path(c.relative);

        EXPECT_NO_THROW(t.log.ArchiveLog(ToUtf16(archive)));

        EXPECT_FALSE(t.IsFolder(t.arch));
        EXPECT_FALSE(t.IsFolder(t.folder.Path("nowhere")));
        if (c.archived) {
            EXPECT_EQ(ReadBytes(archive), kOld);
            EXPECT_FALSE(HasWriteBits(archive));
            EXPECT_EQ(ReadBytes(t.log_path), archive + " archived.\r\n");
        } else {
            EXPECT_EQ(ReadBytes(t.log_path),
                      std::string(kOld) + "Error # 76\r\n\t\t\tPath not found\r\n");
        }
    }
}

// Any spelling of the log's own file as the archive is refused before anything is touched.
TEST(LogArchive, TheLogItselfIsNoArchive) {
    struct Case {
        const char* name;
        std::string (*archive)(const DiskLog&);
    };
    const Case kCases[] = {
        {"its own path", [](const DiskLog& t) { return t.log_path; }},
        {"through a dot folder", [](const DiskLog& t) { return t.folder.Path("./murl_err.log"); }},
        {"a symbolic link",
         [](const DiskLog& t) {
             const std::string link = t.folder.Path("symbolic.log");
             std::filesystem::create_symlink(t.log_path, link);
             return link;
         }},
        {"a hard link",
         [](const DiskLog& t) {
             const std::string link = t.folder.Path("hard.log");
             std::filesystem::create_hard_link(t.log_path, link);
             return link;
         }},
    };
    const std::string refused =
        "Error # 75\r\n\t\t\tPath/File access error: the archive path "
        "names the log file itself\r\n";
    for (const Case& c : kCases) {
        for (int16_t level : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.name << ", ceiling " << level);
            DiskLog t;
            WriteBytes(t.log_path, kOld);
            t.log.SeverityLevel(level);

            EXPECT_NO_THROW(t.log.ArchiveLog(ToUtf16(c.archive(t))));

            EXPECT_EQ(ReadBytes(t.log_path), kOld + (level == 1 ? refused : ""));
            EXPECT_TRUE(HasWriteBits(t.log_path));
            EXPECT_EQ(t.log.Active(), kHostTrue);
            t.log.Output(u"next", 0);
            EXPECT_EQ(ReadBytes(t.log_path), kOld + (level == 1 ? refused : "") + "next\r\n");
        }
    }
}

// The fake module folder is C:\Plugins\Murl.
constexpr char16_t kLog[] = u"C:\\Plugins\\Murl\\murl_err.log";
constexpr char16_t kArchive[] = u"C:\\Plugins\\Murl\\ARCH\\07_3_5_murl.log";
constexpr char kArchivedEntry[] = "C:\\Plugins\\Murl\\ARCH\\07_3_5_murl.log archived.\r\n";

TEST(LogArchive, StepsRunInOrder) {
    NoSettings settings;
    FakePlatform fake;
    clsLog log(fake.MakePlatform(settings));
    log.File(kLog);
    log.ArchiveLog(u"");
    using enum FileCall;
    const std::vector<FileCall> expected = {
        Create,         FileExists, CreateTextFile, FolderExists,
        CreateFolder,   SameFile,   LockFile,       CopyFile,
        CreateTextFile,  // emptying, then the lock goes before the entry takes it
        Create,         FileExists, OpenTextFile,   WriteBlankLines,
        WriteLine,      Close,      GetFile,        SetAttributes};
    EXPECT_EQ(fake.files.calls(), expected);
    EXPECT_EQ(fake.files.Attributes(kArchive), 33);
}

// A failure at each step, at the ceiling 0 (no trace) and 1 (a notice), against what must
// survive in the log and the archive.
TEST(LogArchive, FailureAtEachStepLeavesWhatWasDone) {
    struct Case {
        const char* name;
        FakePlatform::Call operation;
        int32_t number;
        bool log_exists, arch_exists;  // an existing ARCH holds an older, writable archive
        int32_t blank_lines;
        std::optional<std::string> log;  // at the ceiling 0
        std::optional<std::string> archive;
        bool notice;  // false where the failing step is the " archived." entry itself
    };
    const std::string old = kOld, older = "older\r\n", entry = kArchivedEntry;
    const Case kCases[] = {
        {"1 date", ClockCall::Now, 57, true, true, 0, old, older, true},
        {"2 module folder", AppCall::ModuleFolder, 57, true, true, 0, old, older, true},
        {"3 component", FileCall::Create, 57, true, true, 0, old, older, true},
        {"4 log exists", FileCall::FileExists, 57, true, true, 0, old, older, true},
        {"4 create log", FileCall::CreateTextFile, 57, false, true, 0, std::nullopt, older, true},
        {"5 folder exists", FileCall::FolderExists, 57, true, true, 0, old, older, true},
        {"5 create folder", FileCall::CreateFolder, 57, true, false, 0, old, std::nullopt, true},
        {"6 same-file check", FileCall::SameFile, 57, true, true, 0, old, older, true},
        {"6 lock", FileCall::LockFile, 57, true, true, 0, old, older, true},
        {"6 copy", FileCall::CopyFile, 57, true, true, 0, old, older, true},
        {"6 copy of a new log", FileCall::CopyFile, 57, false, false, 0, "", std::nullopt, true},
        {"6 copy refused", FileCall::CopyFile, 70, true, true, 0, old, older, true},
        {"7 emptying", FileCall::CreateTextFile, 57, true, true, 0, old, old, true},
        {"8 entry", FileCall::OpenTextFile, 57, true, true, 0, "", old, false},
        {"8 entry after blanks", FileCall::WriteLine, 57, true, true, 2, "\r\n\r\n", old, false},
        {"9 file object", FileCall::GetFile, 57, true, true, 0, entry, old, true},
        {"9 attributes", FileCall::SetAttributes, 57, true, true, 0, entry, old, true},
    };
    for (const Case& c : kCases) {
        for (int16_t level : {0, 1}) {
            SCOPED_TRACE(testing::Message() << c.name << ", ceiling " << level);
            NoSettings settings;
            FakePlatform fake;
            clsLog log(fake.MakePlatform(settings));
            log.File(kLog);
            log.SeverityLevel(level);
            log.BlankLines(c.blank_lines);
            if (c.log_exists) fake.files.AddFile(kLog, old);
            if (c.arch_exists) fake.files.AddFile(kArchive, older);
            fake.fail_at(c.operation, Error(c.number, c.number == 70 ? u"Permission denied"
                                                                     : u"Device I/O error"));

            EXPECT_NO_THROW(log.ArchiveLog(u""));

            std::optional<std::string> expected_log = c.log;
            if (c.notice && level == 1) {
                expected_log =
                    c.log.value_or("") +
                    (c.number == 70 ? kReadOnlyNotice : "Error # 57\r\n\t\t\tDevice I/O error\r\n");
            }
            EXPECT_EQ(
                fake.files.HasFile(kLog) ? std::optional(fake.files.Contents(kLog)) : std::nullopt,
                expected_log);
            EXPECT_EQ(fake.files.HasFile(kArchive) ? std::optional(fake.files.Contents(kArchive))
                                                   : std::nullopt,
                      c.archive);
            if (c.archive) {
                EXPECT_FALSE(fake.files.IsReadOnly(kArchive));
            }
            EXPECT_EQ(log.Active(), c.notice ? kHostTrue : kHostFalse);
            EXPECT_EQ(fake.files.live_components(), 0);
            EXPECT_EQ(fake.files.open_streams(), 0);
            EXPECT_EQ(fake.files.held_locks(), 0);
        }
    }
}

TEST(LogArchive, TheLogItselfIsRefusedLikeAFailedStep) {
    for (int16_t level : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "ceiling " << level);
        NoSettings settings;
        FakePlatform fake;
        clsLog log(fake.MakePlatform(settings));
        log.File(kLog);
        log.SeverityLevel(level);
        fake.files.AddFile(kLog, kOld);

        EXPECT_NO_THROW(log.ArchiveLog(kLog));

        EXPECT_EQ(fake.files.Contents(kLog),
                  std::string(kOld) + (level == 1 ? "Error # 75\r\n\t\t\tPath/File access error: "
                                                    "the archive path names the log file itself\r\n"
                                                  : ""));
        EXPECT_FALSE(fake.files.IsReadOnly(kLog));
    }
}

TEST(LogArchive, FailedNoticeReachesTheCaller) {
    NoSettings settings;
    FakePlatform fake;
    clsLog log(fake.MakePlatform(settings));
    log.File(kLog);
    log.SeverityLevel(1);
    fake.files.AddFile(kLog, kOld);
    fake.files.fail_at(FileCall::CopyFile, Error(err::kPathNotFound));
    fake.files.fail_at(FileCall::OpenTextFile, Error(err::kPermissionDenied));

    EXPECT_TRUE(FailsAsLogOutput([&] { log.ArchiveLog(u""); }, u"Permission denied"));
    EXPECT_EQ(log.Active(), kHostFalse);
    EXPECT_EQ(fake.files.Contents(kLog), kOld);
}

}  // namespace
}  // namespace murl
