#include "platform/posix/sqlite_settings_store.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "host/error.h"
#include "text/escaped_text.h"
#include "text/text.h"

namespace murl {

namespace {

constexpr char16_t kSource[] = u"SettingsStore";

// The value column has no declared type, so that a number another program stores stays a
// number (a TEXT column would turn it into text); Murl itself stores only text.
constexpr char kCreateTable[] =
    "CREATE TABLE IF NOT EXISTS settings ("
    " application TEXT NOT NULL, section TEXT NOT NULL, key TEXT NOT NULL, value NOT NULL,"
    " PRIMARY KEY (application, section, key)) WITHOUT ROWID";
constexpr char kHasTable[] =
    "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'settings'";
constexpr char kSelect[] =
    "SELECT value FROM settings WHERE application = ?1 AND section = ?2 AND key = ?3";
constexpr char kSelectAll[] =
    "SELECT application, section, key, value FROM settings ORDER BY application, section, key";
constexpr char kReplace[] =
    "INSERT OR REPLACE INTO settings (application, section, key, value) VALUES (?1, ?2, ?3, ?4)";

enum class Action { Read, Write };

std::u16string PathText(const std::filesystem::path& file) {
    return ToUtf16(file.string());
}

[[noreturn]] void Throw(const std::filesystem::path& file, Action action, int32_t number,
                        std::string_view message) {
    std::u16string description = u"Settings store \"" + PathText(file) + u"\" cannot be " +
                                 (action == Action::Read ? u"read: " : u"written: ");
    description += ToUtf16(message);
    throw Error(number, std::move(description), kSource);
}

bool RefusesAccess(int system_errno) {
    return system_errno == EACCES || system_errno == EPERM || system_errno == EROFS;
}

// Throws the failure `code` that SQLite reported on `db`.
[[noreturn]] void Fail(sqlite3* db, const std::filesystem::path& file, Action action, int code) {
    const int system_errno = db ? sqlite3_system_errno(db) : 0;
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    int32_t number = err::kInvalidCall;
    switch (code & 0xFF) {
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            number = err::kPermissionDenied;
            break;
        case SQLITE_NOMEM:
            number = err::kOutOfMemory;
            break;
        case SQLITE_CANTOPEN:
            if (RefusesAccess(system_errno)) number = err::kPermissionDenied;
            break;
        default:
            break;
    }
    if ((code & 0xFF) == SQLITE_CANTOPEN && system_errno != 0) {
        message += " (" + std::generic_category().message(system_errno) + ")";
    }
    Throw(file, action, number, message);
}

struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

Statement Prepare(sqlite3* db, const std::filesystem::path& file, Action action, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    Statement owned(statement);
    if (rc != SQLITE_OK) Fail(db, file, action, rc);
    return owned;
}

void BindText(sqlite3_stmt* statement, int index, std::u16string_view text, sqlite3* db,
              const std::filesystem::path& file, Action action) {
    const std::string utf8 = ToUtf8(text);
    const int rc = sqlite3_bind_text64(statement, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT,
                                       SQLITE_UTF8);
    if (rc != SQLITE_OK) Fail(db, file, action, rc);
}

// SQLITE_ROW or SQLITE_DONE; anything else throws.
int Step(sqlite3_stmt* statement, sqlite3* db, const std::filesystem::path& file, Action action) {
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(db, file, action, rc);
    return rc;
}

std::u16string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    const int size = sqlite3_column_bytes(statement, column);
    return text ? ToUtf16(std::string_view(text, static_cast<size_t>(size))) : std::u16string();
}

// The value in `column` as the settings store holds it: text, an INTEGER as its number, any
// other storage class (REAL, BLOB, NULL) as a value of that type that Murl cannot read.
SettingValue ColumnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
        case SQLITE_TEXT:
            return ColumnText(statement, column);
        case SQLITE_INTEGER:
            return SettingValue::Number(sqlite3_column_int64(statement, column), u"INTEGER");
        case SQLITE_FLOAT:
            return SettingValue::Unreadable(u"REAL");
        case SQLITE_BLOB:
            return SettingValue::Unreadable(u"BLOB");
        default:
            return SettingValue::Unreadable(u"NULL");
    }
}

void Execute(sqlite3* db, const std::filesystem::path& file, const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(db, file, Action::Write, rc);
}

// Rolls back unless committed. Never throws.
class WriteTransaction {
public:
    WriteTransaction(sqlite3* db, const std::filesystem::path& file) : db_(db), file_(file) {
        // IMMEDIATE takes the write lock up front, so a busy file is waited for rather than
        // failing when a read lock would have to be upgraded.
        Execute(db_, file_, "BEGIN IMMEDIATE");
    }
    ~WriteTransaction() {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void Commit() { Execute(db_, file_, "COMMIT"); }

private:
    sqlite3* db_;
    const std::filesystem::path& file_;
};

// Refuses a path that names something other than a file or a folder (a FIFO would block the
// open, a device is no store); SQLite refuses folders itself.
void RequireFileOrNothing(const std::filesystem::path& file, Action action) {
    struct stat info;
    if (::stat(file.c_str(), &info) != 0) return;
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
        Throw(file, action, err::kPathFileAccessError,
              "Path/File access error: not a regular file");
    }
}

// The URI that opens `file` as a file that nobody changes, without locks or a WAL index.
std::string ImmutableUri(const std::filesystem::path& file) {
    std::string uri = "file:";
    for (const char c : file.string()) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || std::strchr("/-._~", c)) {
            uri += c;
        } else {
            uri += '%';
            AppendHex(uri, byte, 2);
        }
    }
    return uri + "?immutable=1";
}

// Write-ahead logging lets readers go on while another connection writes. The mode stays with
// the file; a file that cannot be switched (read-only, busy) is read in the mode it has.
void UseWriteAheadLog(sqlite3* db) {
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
}

// A damaged file is refused before anything reads from it or writes into it.
void RequireIntact(sqlite3* db, const std::filesystem::path& file, Action action) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &raw, nullptr);
    const Statement statement(raw);
    std::string findings;
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(statement.get());
        if (rc != SQLITE_ROW) break;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
        std::string line = text ? text : "";
        if (line == "ok") continue;
        std::replace(line.begin(), line.end(), '\n', ' ');
        if (!findings.empty()) findings += "; ";
        findings += line;
    }
    const bool damaged = (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
    if (rc == SQLITE_DONE && findings.empty()) return;
    if (rc != SQLITE_DONE && !damaged) Fail(db, file, action, rc);
    if (findings.empty()) findings = sqlite3_errmsg(db);
    constexpr size_t kLongest = 200;
    if (findings.size() > kLongest) findings = findings.substr(0, kLongest) + "...";
    Throw(file, action, err::kInvalidCall, "the file is damaged (" + findings + ")");
}

}  // namespace

void SqliteSettingsStore::CloseDatabase::operator()(sqlite3* db) const noexcept {
    sqlite3_close_v2(db);
}

SqliteSettingsStore::SqliteSettingsStore(std::filesystem::path file,
                                         std::chrono::milliseconds busy_timeout)
    : file_(std::move(file)), busy_timeout_(busy_timeout) {}

SqliteSettingsStore::~SqliteSettingsStore() = default;

std::filesystem::path SqliteSettingsStore::DefaultPath() {
    std::filesystem::path base;
    const char* config_home = std::getenv("XDG_CONFIG_HOME");
    if (config_home && std::filesystem::path(config_home).is_absolute()) {
        base = config_home;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = ".config";
    }
    return base / "murl" / "settings.sqlite";
}

void SqliteSettingsStore::Open(bool create) {
    const Action action = create ? Action::Write : Action::Read;
    RequireFileOrNothing(file_, action);
    try {
        db_ = Connect(SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0), create);
    } catch (const Error& e) {
        // A folder that we may not write to refuses the write-ahead log's index; the file can
        // still be read as it stands, which is all that anyone can have made of it from here.
        if (create || e.number() != err::kPermissionDenied) throw;
        db_ = Connect(SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, create);
    }
    has_table_ = false;
}

std::unique_ptr<sqlite3, SqliteSettingsStore::CloseDatabase> SqliteSettingsStore::Connect(
    int flags, bool create) const {
    const Action action = create ? Action::Write : Action::Read;
    sqlite3* raw = nullptr;
    // Opened by its absolute name: SQLite gives "" and ":memory:" a meaning of its own.
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(file_, ec);
    const std::string name = (flags & SQLITE_OPEN_URI) ? ImmutableUri(ec ? file_ : absolute)
                                                       : (ec ? file_ : absolute).string();
    const int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
    std::unique_ptr<sqlite3, CloseDatabase> db(raw);
    if (rc != SQLITE_OK) Fail(db.get(), file_, action, rc);
    sqlite3_extended_result_codes(db.get(), 1);
    const auto timeout = static_cast<int>(busy_timeout_.count());
    if (const int rc2 = sqlite3_busy_timeout(db.get(), timeout); rc2 != SQLITE_OK) {
        Fail(db.get(), file_, action, rc2);
    }
    RequireIntact(db.get(), file_, action);
    if (!(flags & SQLITE_OPEN_READONLY)) UseWriteAheadLog(db.get());
    return db;
}

sqlite3* SqliteSettingsStore::ForReading() {
    if (!db_) {
        // Opening a missing file, even without creating it, is not ours to try: no file is
        // simply an empty store.
        std::error_code ec;
        const auto status = std::filesystem::status(file_, ec);
        if (status.type() == std::filesystem::file_type::not_found) return nullptr;
        Open(false);
    }
    if (!has_table_) {
        const auto statement = Prepare(db_.get(), file_, Action::Read, kHasTable);
        has_table_ = Step(statement.get(), db_.get(), file_, Action::Read) == SQLITE_ROW;
    }
    return has_table_ ? db_.get() : nullptr;
}

sqlite3* SqliteSettingsStore::ForWriting() {
    if (!db_) {
        if (file_.empty()) Throw(file_, Action::Write, err::kInvalidCall, "no file name given");
        const auto folder = file_.parent_path();
        std::error_code ec;
        if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
            std::filesystem::create_directories(folder, ec);
            if (ec) {
                Throw(file_, Action::Write,
                      RefusesAccess(ec.value()) ? err::kPermissionDenied : err::kInvalidCall,
                      "cannot create folder \"" + folder.string() + "\" (" + ec.message() + ")");
            }
        }
        // SQLite reports a file it may not create as missing; say what really stops it.
        const auto status = std::filesystem::status(file_, ec);
        if (status.type() == std::filesystem::file_type::not_found &&
            access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0) {
            const int system_errno = errno;
            Throw(file_, Action::Write,
                  RefusesAccess(system_errno) ? err::kPermissionDenied : err::kInvalidCall,
                  "cannot create a file in folder \"" + folder.string() + "\" (" +
                      std::generic_category().message(system_errno) + ")");
        }
        Open(true);
    }
    return db_.get();
}

std::optional<SettingValue> SqliteSettingsStore::ReadSetting(std::u16string_view application,
                                                             std::u16string_view section,
                                                             std::u16string_view key) {
    sqlite3* db = ForReading();
    if (!db) return std::nullopt;
    const auto statement = Prepare(db, file_, Action::Read, kSelect);
    BindText(statement.get(), 1, application, db, file_, Action::Read);
    BindText(statement.get(), 2, section, db, file_, Action::Read);
    BindText(statement.get(), 3, key, db, file_, Action::Read);
    if (Step(statement.get(), db, file_, Action::Read) != SQLITE_ROW) return std::nullopt;
    return ColumnValue(statement.get(), 0);
}

std::optional<std::u16string> SqliteSettingsStore::Find(std::u16string_view application,
                                                        std::u16string_view section,
                                                        std::u16string_view key) {
    auto value = ReadSetting(application, section, key);
    if (!value) return std::nullopt;
    return GetSetting(application, section, key, u"");
}

std::vector<SqliteSettingsStore::Entry> SqliteSettingsStore::List() {
    std::vector<Entry> entries;
    sqlite3* db = ForReading();
    if (!db) return entries;
    const auto statement = Prepare(db, file_, Action::Read, kSelectAll);
    while (Step(statement.get(), db, file_, Action::Read) == SQLITE_ROW) {
        entries.push_back({ColumnText(statement.get(), 0), ColumnText(statement.get(), 1),
                           ColumnText(statement.get(), 2), ColumnValue(statement.get(), 3)});
    }
    return entries;
}

void SqliteSettingsStore::Verify() {
    ForReading();
}

void SqliteSettingsStore::SaveSetting(std::u16string_view application, std::u16string_view section,
                                      std::u16string_view key, std::u16string_view value) {
    Save(application, section, key, [&](sqlite3_stmt* statement, sqlite3* db) {
        BindText(statement, 4, value, db, file_, Action::Write);
    });
}

void SqliteSettingsStore::SaveNumber(std::u16string_view application, std::u16string_view section,
                                     std::u16string_view key, int64_t value) {
    Save(application, section, key, [&](sqlite3_stmt* statement, sqlite3* db) {
        const int rc = sqlite3_bind_int64(statement, 4, value);
        if (rc != SQLITE_OK) Fail(db, file_, Action::Write, rc);
    });
}

void SqliteSettingsStore::Save(std::u16string_view application, std::u16string_view section,
                               std::u16string_view key,
                               const std::function<void(sqlite3_stmt*, sqlite3*)>& bind_value) {
    sqlite3* db = ForWriting();
    WriteTransaction transaction(db, file_);
    if (!has_table_) Execute(db, file_, kCreateTable);
    {
        const auto statement = Prepare(db, file_, Action::Write, kReplace);
        BindText(statement.get(), 1, application, db, file_, Action::Write);
        BindText(statement.get(), 2, section, db, file_, Action::Write);
        BindText(statement.get(), 3, key, db, file_, Action::Write);
        bind_value(statement.get(), db);
        Step(statement.get(), db, file_, Action::Write);
    }
    transaction.Commit();
    has_table_ = true;
}

}  // namespace murl
