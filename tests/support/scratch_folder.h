#pragma once
// Test support: a temporary folder removed with everything in it, and file inspection.

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/settings_store.h"
#include "text/text.h"

namespace murl::testing_support {

class ScratchFolder {
public:
    ScratchFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "murl-test-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = name;
    }
    ~ScratchFolder() {
        std::error_code ignored;  // a test may have taken the folder's own permissions away
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    std::u16string Text(const std::string& name = {}) const {
        return ToUtf16(name.empty() ? path_ : Path(name));
    }

private:
    std::string path_;
};

inline std::optional<std::string> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool HasWriteBits(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) != 0;
}

// The log never touches the settings store; the Platform still needs one.
class NoSettings : public SettingsStore {
public:
    std::optional<SettingValue> ReadSetting(std::u16string_view, std::u16string_view,
                                            std::u16string_view) override {
        return std::nullopt;
    }
    void SaveSetting(std::u16string_view, std::u16string_view, std::u16string_view,
                     std::u16string_view) override {}
};

}  // namespace murl::testing_support
