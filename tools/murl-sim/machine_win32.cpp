// The machine on Windows: the platform's per-user settings store in the registry and the
// Win32 ports.

#include "platform/win32/windows_headers.h"

#include <fcntl.h>
#include <shellapi.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "machine.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"
#include "text/text.h"

namespace murl::tool {

namespace {

// Scenarios, transcripts and listings are byte streams, as on POSIX: no CR LF translation on
// the standard streams.
bool UseBinaryStreams() noexcept {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return true;
}
const bool kBinaryStreams = UseBinaryStreams();

class RegistryStore final : public Store {
public:
    SettingsStore& settings() override { return store_; }

    std::vector<StoreEntry> List() override {
        std::vector<StoreEntry> entries;
        for (auto& entry : store_.List(u"Murl")) {
            entries.push_back(
                {std::move(entry.section), std::move(entry.key), std::move(entry.value)});
        }
        return entries;
    }

    std::string SaveNumber(std::u16string_view section, std::u16string_view key,
                           int64_t value) override {
        if (value < 0) return "the registry holds no negative number";
        store_.SaveNumber(u"Murl", section, key, static_cast<uint64_t>(value));
        return {};
    }

private:
    RegistrySettingsStore store_;
};

}  // namespace

std::string StoreProblem(const std::string&) {
    return "not available on Windows: the settings live in the registry, under "
           "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Murl";
}

std::unique_ptr<Store> OpenStore(const std::string& path, std::string& error) {
    if (!path.empty()) {
        error = "--store is " + StoreProblem(path);
        return nullptr;
    }
    return std::make_unique<RegistryStore>();
}

std::unique_ptr<Ports> MakePorts(const std::filesystem::path& module_folder) {
    const std::wstring folder = module_folder.wstring();
    return std::make_unique<NativePorts<Win32Platform, u'\\'>>(
        std::u16string(folder.begin(), folder.end()));
}

std::filesystem::path DefaultModuleFolder() {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local && *local) return std::filesystem::path(local) / L"murl";
    return {};
}

std::vector<std::string> Arguments(int, char**) {
    int count = 0;
    const win32::LocalMemory<wchar_t**> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide.get()) throw std::runtime_error("cannot read the command line");
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        arguments.push_back(
            ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.get()[i]))));
    }
    return arguments;
}

std::filesystem::path ArgumentPath(const std::string& argument) {
    return std::filesystem::path(win32::Wide(ToUtf16(argument)));
}

}  // namespace murl::tool
