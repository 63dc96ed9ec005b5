// The machine on POSIX: the SQLite settings store file and the POSIX ports.

#include <cstdlib>

#include "commands.h"
#include "machine.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/sqlite_settings_store.h"
#include "text/text.h"

namespace murl::tool {

namespace {

constexpr std::u16string_view kApplication = u"Murl";

class SqliteStore final : public Store {
public:
    explicit SqliteStore(std::filesystem::path file) : store_(std::move(file)) {}

    SettingsStore& settings() override { return store_; }
    void Verify() override { store_.Verify(); }

    std::vector<StoreEntry> List() override {
        std::vector<StoreEntry> entries;
        for (auto& entry : store_.List()) {  // ordered by application, section, key
            if (entry.application != kApplication) continue;
            entries.push_back(
                {std::move(entry.section), std::move(entry.key), std::move(entry.value)});
        }
        return entries;
    }

    std::string SaveNumber(std::u16string_view section, std::u16string_view key,
                           int64_t value) override {
        store_.SaveNumber(kApplication, section, key, value);
        return {};
    }

private:
    SqliteSettingsStore store_;
};

}  // namespace

std::string StoreProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file(path);
    if (fs::is_directory(file, ec)) return Quoted(path) + " is a folder, not a file";
    const fs::path folder = file.parent_path();
    return folder.empty() ? std::string() : FolderProblem(folder.string());
}

std::unique_ptr<Store> OpenStore(const std::string& path, std::string&) {
    return std::make_unique<SqliteStore>(path.empty() ? SqliteSettingsStore::DefaultPath()
                                                      : std::filesystem::path(path));
}

std::unique_ptr<Ports> MakePorts(const std::filesystem::path& module_folder) {
    return std::make_unique<NativePorts<PosixPlatform, u'/'>>(ToUtf16(module_folder.string()));
}

std::filesystem::path DefaultModuleFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state && std::filesystem::path(state).is_absolute()) {
        return std::filesystem::path(state) / "murl";
    }
    const char* home = std::getenv("HOME");
    if (home && *home) return std::filesystem::path(home) / ".local" / "state" / "murl";
    return {};
}

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path ArgumentPath(const std::string& argument) {
    return std::filesystem::path(argument);
}

}  // namespace murl::tool
