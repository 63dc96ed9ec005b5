// The log writer against the fake file system (composition, ceiling, every failure point)
// and against a real folder (what a real file system does to it).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <optional>

#include "log/cls_log.h"
#include "log_assertions.h"
#include "log_on_disk.h"
#include "platform/fake/fake_platform.h"

namespace murl {
namespace {

using testing_support::FailsAsLogOutput;
using testing_support::NoSettings;
using testing_support::ReadBytes;

constexpr char16_t kLogPath[] = u"C:\\Plugins\\Murl\\murl_err.log";
constexpr char kStamp[] = "2007-03-05 12:00:00";

struct FakeLog {
    NoSettings settings;
    FakePlatform fake;
    clsLog log{fake.MakePlatform(settings)};
    FakeLog() { log.File(kLogPath); }
    std::optional<std::string> Contents() const {
        if (!fake.files.HasFile(kLogPath)) return std::nullopt;
        return fake.files.Contents(kLogPath);
    }
};

TEST(LogWriter, ComposesEntryAndAppliesCeiling) {
    struct Case {
        const char* name;
        HostBool date_time, severity_prefix;
        int16_t level;
        int32_t blank_lines;
        int16_t severity;
        std::u16string_view text;
        std::optional<std::string> file;  // nullopt: nothing written, not even an empty file
        bool box;
    };
    const std::string stamp = kStamp;
    const Case kCases[] = {
        {"plain", 0, 0, 0, 0, 0, u"T", "T\r\n", false},
        {"date-time", -1, 0, 0, 0, 0, u"T", stamp + "\tT\r\n", false},
        {"severity", 0, -1, 0, 0, 0, u"T", "0\tT\r\n", false},
        {"severity before date-time", -1, -1, 2, 0, 2, u"T", "2\t" + stamp + "\tT\r\n", false},
        {"any non-zero flag is true", 1, 5, 0, 0, 0, u"T", "0\t" + stamp + "\tT\r\n", false},
        {"at the ceiling", 0, 0, 3, 0, 3, u"T", "T\r\n", false},
        {"above the ceiling", 0, 0, 3, 0, 4, u"T", std::nullopt, false},
        {"negative passes 0", 0, -1, 0, 0, -2, u"T", "-2\tT\r\n", false},
        {"extremes", 0, -1, 32767, 0, -32768, u"T", "-32768\tT\r\n", false},
        {"negative ceiling", 0, 0, -1, 0, 0, u"T", std::nullopt, false},
        {"blank lines first", 0, 0, 0, 2, 0, u"T", "\r\n\r\nT\r\n", false},
        {"box, not written", 0, 0, 9, 0, 10, u"T", std::nullopt, true},
        {"box, then written", 0, -1, 9, 0, 3, u"T", "3\tT\r\n", true},
        {"single-byte text", 0, 0, 0, 0, 0, u"\u00e9\u20ac\u2713\U0001F600", "\xe9\x80??\r\n",
         false},
        {"line breaks in text", 0, 0, 0, 0, 0, u"a\r\nb", "a\r\nb\r\n", false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FakeLog t;
        t.log.LogDateTime(c.date_time);
        t.log.LogSeverity(c.severity_prefix);
        t.log.SeverityLevel(c.level);
        t.log.BlankLines(c.blank_lines);

        t.log.Output(c.text, c.severity);

        EXPECT_EQ(t.Contents(), c.file);
        ASSERT_EQ(t.fake.message_box.shown.size(), c.box ? 1u : 0u);
        if (c.box) {
            const auto& shown = t.fake.message_box.shown[0];
            EXPECT_EQ(ToUtf8(shown.prompt) + "\r\n", c.file.value_or(ToUtf8(c.text) + "\r\n"));
            EXPECT_EQ(shown.style, 64);
            EXPECT_TRUE(shown.title == u"Log");
        }
        EXPECT_EQ(t.log.Active(), kHostTrue);
        EXPECT_EQ(t.fake.files.live_components(), 0);
        EXPECT_EQ(t.fake.files.open_streams(), 0);
    }
}

TEST(LogWriter, MessageBoxComesBeforeTheWrite) {
    FakeLog t;
    t.log.SeverityLevel(9);
    std::optional<std::string> during_box = "not shown";
    t.fake.message_box.on_show = [&](const FakeMessageBox::Shown&) { during_box = t.Contents(); };
    t.log.Output(u"first", 0);
    t.log.Output(u"second", 0);
    EXPECT_EQ(during_box, "first\r\n");
    EXPECT_EQ(t.Contents(), "first\r\nsecond\r\n");
}

TEST(LogWriter, InactiveDoesNothingAtAll) {
    struct Case {
        const char* name;
        void (*arrange)(clsLog&);
    };
    const Case kCases[] = {
        {"fresh instance", [](clsLog&) {}},
        {"switched off",
         [](clsLog& log) {
             log.File(kLogPath);
             log.Active(kHostFalse);
         }},
        {"off with box ceiling",
         [](clsLog& log) {
             log.File(kLogPath);
             log.Active(kHostFalse);
             log.SeverityLevel(9);
             log.LogDateTime(kHostTrue);
         }},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        NoSettings settings;
        FakePlatform fake;
        clsLog log(fake.MakePlatform(settings));
        c.arrange(log);
        fake.files.fail_always(FileCall::Create, Error(75, u"must not be reached"));
        EXPECT_NO_THROW(log.Output(u"T", 0));
        EXPECT_TRUE(fake.files.calls().empty());
        EXPECT_TRUE(fake.clock.calls().empty());
        EXPECT_TRUE(fake.message_box.shown.empty());
    }
}

// Each operation of an entry failing in turn: the log's own error with the underlying
// description, logging off, nothing left open; Active let switches it back on.
TEST(LogWriter, FailureAtEachStepSwitchesLoggingOff) {
    struct Case {
        const char* name;
        FakePlatform::Call operation;
        bool log_exists;                  // otherwise CreateTextFile is called
        std::optional<std::string> left;  // log contents after the failure
    };
    const Case kCases[] = {
        {"component", FileCall::Create, true, "old\r\n"},
        {"date", ClockCall::Now, true, "old\r\n"},
        {"message box", BoxCall::Show, true, "old\r\n"},
        {"log exists", FileCall::FileExists, true, "old\r\n"},
        {"create log", FileCall::CreateTextFile, false, std::nullopt},
        {"open log", FileCall::OpenTextFile, true, "old\r\n"},
        {"blank lines", FileCall::WriteBlankLines, true, "old\r\n"},
        {"line", FileCall::WriteLine, true, "old\r\n\r\n\r\n"},
        {"close", FileCall::Close, true, "old\r\n\r\n\r\n" + std::string(kStamp) + "\tT\r\n"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        FakeLog t;
        if (c.log_exists) t.fake.files.AddFile(kLogPath, "old\r\n");
        t.log.LogDateTime(kHostTrue);
        t.log.SeverityLevel(9);
        t.log.BlankLines(2);
        const Error failure(57, u"Device I/O error");
        t.fake.fail_at(c.operation, failure);

        EXPECT_TRUE(FailsAsLogOutput([&] { t.log.Output(u"T", 0); }, u"Device I/O error"));
        EXPECT_EQ(t.log.Active(), kHostFalse);
        EXPECT_EQ(t.fake.files.live_components(), 0);
        EXPECT_EQ(t.fake.files.open_streams(), 0);
        EXPECT_EQ(t.Contents(), c.left);

        t.fake.files.clear_calls();
        EXPECT_NO_THROW(t.log.Output(u"dropped", 0));
        EXPECT_TRUE(t.fake.files.calls().empty());

        t.log.Active(kHostTrue);
        t.log.BlankLines(0);
        t.log.Output(u"again", 0);
        EXPECT_EQ(t.Contents(), c.left.value_or("") + kStamp + "\tagain\r\n");
    }
}

// The same log on a real folder.
class LogWriterOnDisk : public testing_support::LogOnDisk {};

TEST_F(LogWriterOnDisk, CreatesAppendsAndRecreatesTheFile) {
    log.File(ToUtf16(log_path));
    log.BlankLines(1);
    log.Output(u"one \u00e9", 0);
    log.Output(u"two", 0);
    EXPECT_EQ(ReadBytes(log_path), "\r\none \xe9\r\n\r\ntwo\r\n");

    std::remove(log_path.c_str());
    log.Output(u"three", 0);
    EXPECT_EQ(ReadBytes(log_path), "\r\nthree\r\n");
}

TEST_F(LogWriterOnDisk, UnwritablePlacesSwitchLoggingOff) {
    struct Case {
        const char* name;
        std::string path;
        std::u16string description;
    };
    const std::string read_only = folder.Path("read_only.log");
    testing_support::WriteBytes(read_only, "kept\r\n");
    ::chmod(read_only.c_str(), 0444);
    const std::string fifo = folder.Path("fifo.log");  // opening it to write would wait
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const Case kCases[] = {
        {"missing folder", folder.Path("missing/murl_err.log"), u"Path not found"},
        {"read-only file", read_only, u"Permission denied"},
        {"empty path", "", u"Bad file name or number"},
        {"a folder", folder.path(),
         u"Path/File access error: \"" + folder.Text() + u"\" is a folder"},
        {"a FIFO", fifo, u"Path/File access error"},
        {"a device", "/dev/null", u"Path/File access error"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        log.File(ToUtf16(c.path));
        EXPECT_TRUE(FailsAsLogOutput([&] { log.Output(u"T", 0); }, c.description));
        EXPECT_EQ(log.Active(), kHostFalse);
        EXPECT_NO_THROW(log.Output(u"T", 0));

        log.File(ToUtf16(log_path));
        log.Output(ToUtf16(c.name), 0);
    }
    EXPECT_EQ(ReadBytes(read_only), "kept\r\n");
    EXPECT_FALSE(ReadBytes(folder.Path("missing/murl_err.log")));
    EXPECT_EQ(ReadBytes(log_path),
              "missing folder\r\nread-only file\r\nempty path\r\na folder\r\na FIFO\r\n"
              "a device\r\n");
}

}  // namespace
}  // namespace murl
