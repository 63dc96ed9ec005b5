#include "platform/posix/sqlite_settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <source_location>
#include <string>
#include <thread>

#include "host/error.h"
#include "scratch_folder.h"
#include "text/text.h"
#include "unprivileged.h"

namespace murl {
namespace {

namespace fs = std::filesystem;
using Entry = SqliteSettingsStore::Entry;
using testing::HasSubstr;

class SqliteSettingsStoreTest : public testing::Test {
protected:
    testing_support::ScratchFolder scratch_;
    fs::path dir_ = scratch_.path();
};

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A connection of its own that holds the file's write lock until Release.
class LockHolder {
public:
    explicit LockHolder(const fs::path& file, const char* begin = "BEGIN EXCLUSIVE") {
        EXPECT_EQ(sqlite3_open(file.c_str(), &db_), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db_, begin, nullptr, nullptr, nullptr), SQLITE_OK);
    }
    ~LockHolder() { sqlite3_close(db_); }
    void Release() { EXPECT_EQ(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK); }

private:
    sqlite3* db_ = nullptr;
};

void ExpectFailure(const std::function<void()>& operation, int32_t number,
                   const std::u16string& description_start, std::string_view message,
                   std::source_location where = std::source_location::current()) {
    const testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "here");
    try {
        operation();
        ADD_FAILURE() << "no failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), number);
        EXPECT_EQ(e.description().substr(0, description_start.size()), description_start);
        EXPECT_THAT(e.what(), HasSubstr(message));
    }
}

TEST_F(SqliteSettingsStoreTest, ReadingAMissingFileCreatesNothing) {
    SqliteSettingsStore store(dir_ / "sub" / "settings.sqlite");
    EXPECT_EQ(store.GetSetting(u"Murl", u"Settings", u"Evades", u"True"), u"True");
    EXPECT_EQ(store.Find(u"Murl", u"Settings", u"Evades"), std::nullopt);
    EXPECT_TRUE(store.List().empty());
    EXPECT_FALSE(fs::exists(dir_ / "sub"));
}

TEST_F(SqliteSettingsStoreTest, EveryTextRoundTripsExactly) {
    const Entry entries[] = {
        {u"Murl", u"", u"", u"empty section and key"},
        {u"Murl", u"", u"Evades", u""},
        {u"Murl", u"Settings", u"Evades", u"True"},
        {u"Murl", u"settings", u"Evades", u"lower-case section is another one"},
        {u"Murl", u"XyzAbc", u"Evades", u"2147483647"},
        {u"Murl", u"\u00C6r\u00F8sk\u00F8bing\u65E5\u672C", u"\u043A\u043B\u044E\u0447",
         u"\U0001F600 value"},
        {u"Murl", u"\xD800", u"\xDC00", u"lone high section, lone low key"},
        {u"Murl", u"\xFFFD", u"\xFFFD", u"the replacement character is not a lone surrogate"},
        {u"Murl", u"\xDC00\xD800",
         u"a\xDBFF"
         u"b",
         u"x\xDFFF"},
        {u"Murl", std::u16string(u"a\0b", 3), std::u16string(u"\0", 1),
         std::u16string(u"nul\0inside", 10)},
        {u"Other", u"Settings", u"Evades", u"another application"},
    };
    {
        SqliteSettingsStore writer(dir_ / "settings.sqlite");
        for (const auto& e : entries) {
            writer.SaveSetting(e.application, e.section, e.key, e.value.text);
        }
    }
    SqliteSettingsStore reader(dir_ / "settings.sqlite");
    for (const auto& e : entries) {
        SCOPED_TRACE(testing::Message() << ToUtf8(e.section) << " / " << ToUtf8(e.key));
        EXPECT_EQ(reader.GetSetting(e.application, e.section, e.key, u"absent"), e.value.text);
    }
    const auto listed = reader.List();
    ASSERT_EQ(listed.size(), std::size(entries));
    for (size_t i = 1; i < listed.size(); ++i) {
        const auto order = [](const Entry& e) {
            return std::tuple(ToUtf8(e.application), ToUtf8(e.section), ToUtf8(e.key));
        };
        EXPECT_LT(order(listed[i - 1]), order(listed[i])) << "entry " << i;
    }
}

// A value another program stored reads as the store holds it: never as absent.
TEST_F(SqliteSettingsStoreTest, ValuesOfEveryStorageClassReadAsStored) {
    const struct {
        const char* sql;  // the value as SQL
        SettingValue expected;
    } cases[] = {
        {"'12'", u"12"},
        {"12", SettingValue::Number(12, u"INTEGER")},
        {"-3", SettingValue::Number(-3, u"INTEGER")},
        {"9223372036854775807",
         SettingValue::Number(std::numeric_limits<int64_t>::max(), u"INTEGER")},
        {"-9223372036854775808",
         SettingValue::Number(std::numeric_limits<int64_t>::min(), u"INTEGER")},
        {"12.5", SettingValue::Unreadable(u"REAL")},
        {"x'3132'", SettingValue::Unreadable(u"BLOB")},
    };
    const auto file = dir_ / "settings.sqlite";
    SqliteSettingsStore(file).SaveSetting(u"Murl", u"Settings", u"Bots", u"True");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &raw), SQLITE_OK);
        const std::string sql = std::string("UPDATE settings SET value = ") + c.sql;
        EXPECT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);

        SqliteSettingsStore store(file);
        EXPECT_EQ(store.ReadSetting(u"Murl", u"Settings", u"Bots"), c.expected);
        EXPECT_EQ(store.List(), (std::vector<Entry>{{u"Murl", u"Settings", u"Bots", c.expected}}));
        if (c.expected.kind == SettingValue::Kind::kText) continue;
        ExpectFailure([&] { store.GetSetting(u"Murl", u"Settings", u"Bots", u"False"); },
                      err::kTypeMismatch, u"Type mismatch", "Type mismatch");
    }
}

TEST_F(SqliteSettingsStoreTest, AbsentAddressesReadTheFallback) {
    SqliteSettingsStore store(dir_ / "settings.sqlite");
    store.SaveSetting(u"Murl", u"XyzAbc", u"Evades", u"7");
    const struct {
        std::u16string_view application, section, key;
    } absent[] = {{u"Other", u"XyzAbc", u"Evades"},
                  {u"Murl", u"Xyz", u"Evades"},
                  {u"Murl", u"XyzAbc", u"evades"},
                  {u"Murl", u"", u"Evades"},
                  {u"Murl", u"XyzAbc", u""}};
    for (const auto& a : absent) {
        SCOPED_TRACE(testing::Message() << ToUtf8(a.application) << " / " << ToUtf8(a.section)
                                        << " / " << ToUtf8(a.key));
        EXPECT_EQ(store.GetSetting(a.application, a.section, a.key, u"0"), u"0");
        EXPECT_EQ(store.Find(a.application, a.section, a.key), std::nullopt);
    }
}

TEST_F(SqliteSettingsStoreTest, SavingReplacesTheValueAndCreatesTheFolder) {
    const auto file = dir_ / "a" / "b" / "settings.sqlite";
    SqliteSettingsStore store(file);
    store.SaveSetting(u"Murl", u"Settings", u"Zero", u"False");
    store.SaveSetting(u"Murl", u"Settings", u"Zero", u"True");
    EXPECT_TRUE(fs::is_regular_file(file));
    EXPECT_EQ(store.List(), (std::vector<Entry>{{u"Murl", u"Settings", u"Zero", u"True"}}));
}

TEST_F(SqliteSettingsStoreTest, TwoConnectionsShareTheFile) {
    const auto file = dir_ / "settings.sqlite";
    SqliteSettingsStore first(file);
    SqliteSettingsStore second(file);
    // The second one looks before the file exists, then finds what the first one made.
    EXPECT_EQ(second.Find(u"Murl", u"Settings", u"Bots"), std::nullopt);
    first.SaveSetting(u"Murl", u"Settings", u"Bots", u"True");
    second.SaveSetting(u"Murl", u"Settings", u"Status", u"True");
    first.SaveSetting(u"Murl", u"Settings", u"Status", u"False");
    second.SaveSetting(u"Murl", u"Settings", u"Bots", u"False");
    const std::vector<Entry> expected = {{u"Murl", u"Settings", u"Bots", u"False"},
                                         {u"Murl", u"Settings", u"Status", u"False"}};
    EXPECT_EQ(first.List(), expected);
    EXPECT_EQ(second.List(), expected);
}

TEST_F(SqliteSettingsStoreTest, WaitsForAnotherConnectionThatHoldsTheFile) {
    const auto file = dir_ / "settings.sqlite";
    SqliteSettingsStore store(file);
    store.SaveSetting(u"Murl", u"Settings", u"Bots", u"True");
    LockHolder holder(file);
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        holder.Release();
    });
    EXPECT_NO_THROW(store.SaveSetting(u"Murl", u"Settings", u"Status", u"True"));
    EXPECT_EQ(store.GetSetting(u"Murl", u"Settings", u"Bots", u""), u"True");
    other.join();
    EXPECT_EQ(store.List().size(), 2u);
}

TEST_F(SqliteSettingsStoreTest, AFirstSaveOnAnExistingStoreWaitsForAnotherWriter) {
    const auto file = dir_ / "settings.sqlite";
    SqliteSettingsStore(file).SaveSetting(u"Murl", u"Settings", u"Bots", u"True");
    LockHolder holder(file, "BEGIN IMMEDIATE");
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        holder.Release();
    });
    SqliteSettingsStore store(file);
    EXPECT_NO_THROW(store.SaveSetting(u"Murl", u"Settings", u"Status", u"True"));
    other.join();
    EXPECT_EQ(store.List().size(), 2u);
}

TEST_F(SqliteSettingsStoreTest, FailuresNameTheFileAndTheCause) {
    std::ofstream(dir_ / "plain.txt")
        << "not a database, and long enough to be read as one........"
           "..........................................................";
    fs::create_directory(dir_ / "folder.sqlite");
    const struct {
        const char* name;
        fs::path file;
        std::string_view read_message;  // empty: reading gives the fallback
        std::string_view write_message;
    } cases[] = {
        {"parent is a file", dir_ / "plain.txt" / "settings.sqlite", "", "cannot create folder"},
        {"file is a folder", dir_ / "folder.sqlite", "unable to open database file",
         "unable to open database file"},
        {"file is no database", dir_ / "plain.txt", "file is not a database",
         "file is not a database"},
        {"no name", "", "", "no file name given"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SqliteSettingsStore store(c.file);
        const std::u16string named = u"Settings store \"" + ToUtf16(c.file.string()) + u"\" ";
        if (c.read_message.empty()) {
            EXPECT_EQ(store.GetSetting(u"Murl", u"Settings", u"Bots", u"False"), u"False");
        } else {
            ExpectFailure([&] { store.GetSetting(u"Murl", u"Settings", u"Bots", u"False"); },
                          err::kInvalidCall, named + u"cannot be read: ", c.read_message);
        }
        ExpectFailure([&] { store.SaveSetting(u"Murl", u"Settings", u"Bots", u"True"); },
                      err::kInvalidCall, named + u"cannot be written: ", c.write_message);
    }
}

// Run as an ordinary user even under root, which may write anywhere.
TEST_F(SqliteSettingsStoreTest, RefusedAccessIsPermissionDenied) {
    SqliteSettingsStore(dir_ / "settings.sqlite").SaveSetting(u"Murl", u"Settings", u"Bots", u"1");
    const auto refused = [&] {
        fs::permissions(dir_ / "settings.sqlite", fs::perms::owner_read);
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        const struct {
            const char* name;
            fs::path file;
            std::string_view message;
        } cases[] = {
            {"read-only file", dir_ / "settings.sqlite", "attempt to write a readonly database"},
            {"read-only folder", dir_ / "new.sqlite", "Permission denied"},
            {"folder in read-only folder", dir_ / "sub" / "new.sqlite", "Permission denied"},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            SqliteSettingsStore store(c.file);
            ExpectFailure(
                [&] { store.SaveSetting(u"Murl", u"Settings", u"Bots", u"True"); },
                err::kPermissionDenied,
                u"Settings store \"" + ToUtf16(c.file.string()) + u"\" cannot be written: ",
                c.message);
        }
        // Neither the file nor its folder takes the write-ahead log's index: read as it stands.
        SqliteSettingsStore reader(dir_ / "settings.sqlite");
        EXPECT_EQ(reader.Find(u"Murl", u"Settings", u"Bots"), u"1");
        EXPECT_EQ(reader.List().size(), 1u);
    };
    EXPECT_TRUE(testing_support::AsUnprivileged(dir_.string(), refused));
}

TEST_F(SqliteSettingsStoreTest, AWriteThatWaitsTooLongFailsAndChangesNothing) {
    const auto file = dir_ / "settings.sqlite";
    SqliteSettingsStore store(file, std::chrono::milliseconds(50));
    store.SaveSetting(u"Murl", u"XyzAbc", u"Evades", u"1");
    {
        LockHolder holder(file);
        ExpectFailure([&] { store.SaveSetting(u"Murl", u"XyzAbc", u"Evades", u"2"); },
                      err::kInvalidCall,
                      u"Settings store \"" + ToUtf16(file.string()) + u"\" cannot be written: ",
                      "database is locked");
        holder.Release();
    }
    EXPECT_EQ(store.GetSetting(u"Murl", u"XyzAbc", u"Evades", u"0"), u"1");
    store.SaveSetting(u"Murl", u"XyzAbc", u"Evades", u"3");
    EXPECT_EQ(store.GetSetting(u"Murl", u"XyzAbc", u"Evades", u"0"), u"3");
}

// A connection of its own in the middle of a write: its change is made, not yet committed.
class PendingWrite {
public:
    explicit PendingWrite(const fs::path& file) {
        EXPECT_EQ(sqlite3_open(file.c_str(), &db_), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db_,
                               "BEGIN EXCLUSIVE; UPDATE settings SET value = 'pending';"
                               " INSERT INTO settings VALUES ('Murl', 'New', 'Key', 'pending')",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    ~PendingWrite() { sqlite3_close(db_); }
    void Commit() { EXPECT_EQ(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK); }

private:
    sqlite3* db_ = nullptr;
};

std::string JournalMode(const fs::path& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    std::string mode;
    sqlite3_exec(
        db, "PRAGMA journal_mode",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) = values[0] ? values[0] : "";
            return 0;
        },
        &mode, nullptr);
    sqlite3_close(db);
    return mode;
}

// A store file written by another program in the default rollback-journal mode.
void WriteRollbackJournalStore(const fs::path& file) {
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE settings (application TEXT NOT NULL, section TEXT NOT NULL,"
                 " key TEXT NOT NULL, value TEXT NOT NULL,"
                 " PRIMARY KEY (application, section, key)) WITHOUT ROWID;"
                 "INSERT INTO settings VALUES ('Murl', 'SAlice', 'Evades', '41')",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

TEST_F(SqliteSettingsStoreTest, ReadersAreNeverBlockedByAWriter) {
    const struct {
        const char* name;
        void (*make)(const fs::path&);
    } cases[] = {
        {"a store we created",
         [](const fs::path& file) {
             SqliteSettingsStore(file).SaveSetting(u"Murl", u"SAlice", u"Evades", u"41");
         }},
        {"a store in rollback-journal mode", WriteRollbackJournalStore},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir_ / (std::string(c.name) + ".sqlite");
        c.make(file);
        // The first open of the older file switches it for good.
        EXPECT_EQ(SqliteSettingsStore(file).Find(u"Murl", u"SAlice", u"Evades"), u"41");
        EXPECT_EQ(JournalMode(file), "wal");

        PendingWrite writer(file);
        SqliteSettingsStore store(file, std::chrono::milliseconds(50));
        EXPECT_EQ(store.GetSetting(u"Murl", u"SAlice", u"Evades", u"0"), u"41");
        EXPECT_EQ(store.Find(u"Murl", u"New", u"Key"), std::nullopt);
        EXPECT_EQ(store.List().size(), 1u);
        writer.Commit();
        EXPECT_EQ(store.GetSetting(u"Murl", u"SAlice", u"Evades", u"0"), u"pending");
    }
}

// The database file's numbers are big-endian: the page size 2 bytes at 16, the page count 4 at
// 28, and in a page's header the start of its free space 2 at 1.
uint32_t BigEndianAt(const std::string& bytes, size_t at, size_t width) {
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

void PutBigEndianAt(std::string& bytes, size_t at, size_t width, uint32_t value) {
    for (size_t i = 0; i < width; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * (width - 1 - i)));
    }
}

size_t PageSize(const std::string& bytes) {
    return BigEndianAt(bytes, 16, 2);
}

TEST_F(SqliteSettingsStoreTest, ADamagedFileIsRefusedAndNeverWritten) {
    const struct {
        const char* name;
        void (*damage)(std::string& bytes);
    } cases[] = {
        // Fails as soon as anything is read.
        {"cut short", [](std::string& bytes) { bytes.resize(5000); }},
        // Opens and reads well; only the check finds what is wrong.
        {"a page that is never used",
         [](std::string& bytes) {
             const uint32_t pages = BigEndianAt(bytes, 28, 4);
             bytes.append(PageSize(bytes), '\0');
             PutBigEndianAt(bytes, 28, 4, pages + 1);
         }},
        {"a page of the table whose free space starts inside its header",
         [](std::string& bytes) {
             const size_t last_page = bytes.size() - PageSize(bytes);
             PutBigEndianAt(bytes, last_page + 1, 2, 4);
         }},
    };
    const auto intact = dir_ / "intact.sqlite";
    {
        SqliteSettingsStore store(intact);
        store.SaveSetting(u"Murl", u"SAlice", u"Evades", u"41");
        store.SaveSetting(u"Murl", u"Settings", u"Bots", u"True");
        for (int i = 0; i < 200; ++i) {
            store.SaveSetting(u"Murl", u"Character" + ToUtf16(std::to_string(i)), u"Evades",
                              u"1234567890");
        }
    }
    const std::string bytes = ReadFile(intact);
    ASSERT_GT(bytes.size(), 3 * PageSize(bytes));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = dir_ / (std::string(c.name) + ".sqlite");
        std::string damaged = bytes;
        c.damage(damaged);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << damaged;

        const std::u16string named = u"Settings store \"" + ToUtf16(file.string()) + u"\" ";
        SqliteSettingsStore store(file);
        ExpectFailure([&] { store.GetSetting(u"Murl", u"SAlice", u"Evades", u"0"); },
                      err::kInvalidCall, named + u"cannot be read: ", "the file is damaged");
        ExpectFailure([&] { store.List(); }, err::kInvalidCall, named + u"cannot be read: ",
                      "the file is damaged");
        ExpectFailure([&] { store.SaveSetting(u"Murl", u"SAlice", u"Evades", u"1"); },
                      err::kInvalidCall, named + u"cannot be written: ", "the file is damaged");
        EXPECT_EQ(ReadFile(file), damaged);
        EXPECT_FALSE(fs::exists(file.string() + "-wal"));
    }
}

TEST_F(SqliteSettingsStoreTest, OnlyAFileOrNothingIsAStore) {
    ASSERT_EQ(mkfifo((dir_ / "fifo.sqlite").c_str(), 0666), 0);
    const fs::path paths[] = {dir_ / "fifo.sqlite", "/dev/null"};
    for (const auto& path : paths) {
        SCOPED_TRACE(path.string());
        SqliteSettingsStore store(path);
        const std::u16string named = u"Settings store \"" + ToUtf16(path.string()) + u"\" ";
        ExpectFailure([&] { store.GetSetting(u"Murl", u"Settings", u"Bots", u"False"); }, 75,
                      named + u"cannot be read: ", "Path/File access error");
        ExpectFailure([&] { store.SaveSetting(u"Murl", u"Settings", u"Bots", u"True"); }, 75,
                      named + u"cannot be written: ", "Path/File access error");
    }
}

}  // namespace
}  // namespace murl
