#pragma once
// The settings store as an SQLite database file: one table of values keyed by
// (application, section, key). Murl writes text; an INTEGER another program stored reads as
// its number, any other storage class as a value Murl cannot read. Texts are stored as UTF-8; a
// lone surrogate is kept in its three-byte form, so every UTF-16 text comes back exactly as it was
// saved.
//
// Reading never creates anything: a missing file, or one without the table, reads as empty.
// The file is kept in write-ahead-log mode, so that readers never wait for a writer. A file
// that fails SQLite's quick check when first opened is refused, for reading and writing alike;
// so is a path that names a FIFO, a device or a socket.
// The first write creates the parent folder, the file and the table. Every write is its own
// transaction, and a connection waits up to five seconds for another one that holds the file,
// so several processes may share it.
//
// Failures throw Error 70 when the file or its folder refuses access (read-only, permissions),
// Error 75 for a path that names a FIFO, a device or a socket, Error 7 when memory runs out,
// and Error 5 otherwise (a damaged file, a missing name, any other SQLite failure); the
// description names the file and carries SQLite's own message.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace murl {

class SqliteSettingsStore final : public SettingsStore {
public:
    struct Entry {
        std::u16string application;
        std::u16string section;
        std::u16string key;
        SettingValue value;
        bool operator==(const Entry&) const = default;
    };

    // Opens nothing yet: the file is touched at the first read or write. `busy_timeout` is how
    // long an operation waits for another connection that holds the file.
    explicit SqliteSettingsStore(std::filesystem::path file,
                                 std::chrono::milliseconds busy_timeout = std::chrono::seconds(5));
    ~SqliteSettingsStore() override;
    SqliteSettingsStore(const SqliteSettingsStore&) = delete;
    SqliteSettingsStore& operator=(const SqliteSettingsStore&) = delete;

    // $XDG_CONFIG_HOME/murl/settings.sqlite, or ~/.config/murl/settings.sqlite without it.
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& file() const noexcept { return file_; }

    // The store's operations and SaveNumber are alike by design in every store.
    std::optional<SettingValue> ReadSetting(std::u16string_view application,
                                            std::u16string_view section,
                                            std::u16string_view key) override;
    void SaveSetting(std::u16string_view application, std::u16string_view section,
                     std::u16string_view key, std::u16string_view value) override;

    // Stores `value` as an INTEGER, as another program may; Murl itself stores text.
    void SaveNumber(std::u16string_view application, std::u16string_view section,
                    std::u16string_view key, int64_t value);
    // The stored text, or nothing when the entry is absent; a value that is not text throws
    // as GetSetting does. Creates nothing.
    std::optional<std::u16string> Find(std::u16string_view application, std::u16string_view section,
                                       std::u16string_view key);
    // Every entry, ordered by application, section and key (code point order). Creates nothing.
    std::vector<Entry> List();
    // Opens an existing file now, so that a damaged one is refused before anything else is
    // done. Creates nothing.
    void Verify();

private:
    struct CloseDatabase {
        void operator()(sqlite3* db) const noexcept;
    };

    // The connection to read through; null while there is no file, or no table in it.
    sqlite3* ForReading();
    // The connection to write through, creating the folder and the file when missing.
    sqlite3* ForWriting();
    void Open(bool create);
    // Creates or replaces one entry, its value bound as parameter 4 by `bind_value`.
    void Save(std::u16string_view application, std::u16string_view section, std::u16string_view key,
              const std::function<void(sqlite3_stmt*, sqlite3*)>& bind_value);
    // A connection with the SQLite open `flags`, to a file that passed the integrity check.
    std::unique_ptr<sqlite3, CloseDatabase> Connect(int flags, bool create) const;

    std::filesystem::path file_;
    std::chrono::milliseconds busy_timeout_;
    std::unique_ptr<sqlite3, CloseDatabase> db_;
    bool has_table_ = false;  // known to exist; checked again while it is not
};

}  // namespace murl
