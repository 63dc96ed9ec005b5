// The registration as the host finds it, in the 32-bit view of the registry: the class, its
// file as COM reads it for a game whose folders are not Murl's, its threading model, the ProgID
// and the type library.

#include <cwctype>
#include <optional>
#include <vector>

#include "checks.h"
#include <oleauto.h>
#include "platform/owned_handle.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_text.h"
#include "server/identity.h"

namespace murl::doctor {

namespace {

using win32::ComPtr;
using win32::PutOut;
using win32::RegistryKey;

constexpr REGSAM k32BitView = KEY_WOW64_32KEY;

// The checks that follow from the class's registration, and from the type library's.
constexpr CheckId kClassChecks[] = {"registration.path", "registration.same_file",
                                    "registration.threading_model"};
// A registration that is gone with the class's is one cause, told once.
constexpr char kUnregistered[] =
    "the class is not registered (above); registering murl.dll registers this too";
constexpr CheckId kLibraryFileChecks[] = {"registration.typelib_file",
                                          "registration.typelib_version"};

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// A text value under <root>\<path> (a null `name` names the default value) as stored, with its
// type; nothing when the key or the value is absent or not text.
std::optional<std::wstring> ReadStored(HKEY root, const std::wstring& path, const wchar_t* name,
                                       DWORD& type) {
    RegistryKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | k32BitView, PutOut(key)) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(data.data());
}

std::wstring Expanded(const std::wstring& text) {
    std::vector<wchar_t> expanded(32768);
    if (ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                  static_cast<DWORD>(expanded.size())) == 0) {
        return text;
    }
    return expanded.data();
}

// A text value, environment references in an expandable one expanded.
std::optional<std::wstring> ReadText(const std::wstring& path, const wchar_t* name = nullptr) {
    DWORD type = 0;
    auto text = ReadStored(HKEY_CLASSES_ROOT, path, name, type);
    if (text && type == REG_EXPAND_SZ) text = Expanded(*text);
    return text;
}

// A module path as COM takes it from InprocServer32: an expandable text expanded, a plain one
// cut to what its first pair of quotes holds.
std::wstring AsComReadsIt(const std::wstring& stored, DWORD type) {
    if (type == REG_EXPAND_SZ) return Expanded(stored);
    const size_t open = stored.find(L'"');
    const size_t close = open == std::wstring::npos ? open : stored.find(L'"', open + 1);
    if (close == std::wstring::npos) return stored;
    return stored.substr(open + 1, close - open - 1);
}

bool IsFullPath(const std::wstring& path) {
    const auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && separator(path[2])) return true;
    return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

// Where the loader finds a bare module name for a program outside Murl's folders: the system
// folders and PATH. Empty when it finds none there.
std::wstring SearchAsGame(const std::wstring& name) {
    wchar_t system[MAX_PATH] = {}, windows[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring folders = std::wstring(system) + L";" + windows;
    const DWORD length = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (length > 0) {
        std::wstring path(length, L'\0');
        path.resize(GetEnvironmentVariableW(L"PATH", path.data(), length));
        folders += L";" + path;
    }
    std::vector<wchar_t> found(32768);
    if (SearchPathW(folders.c_str(), name.c_str(), L".dll", static_cast<DWORD>(found.size()),
                    found.data(), nullptr) == 0) {
        return {};
    }
    return found.data();
}

// The file a game's process loads for `path`: a full path made canonical (".dll" added to a
// name without one, as the loader does); a bare name searched for; empty for a path relative
// to a current folder, which the game's is not.
std::wstring Resolved(const std::wstring& path) {
    const size_t name = path.find_last_of(L"\\/:") + 1;  // npos + 1 == 0
    const bool bare = name == 0;
    std::wstring file = path;
    if (path.find(L'.', name) == std::wstring::npos) file += L".dll";
    if (bare) return SearchAsGame(file);
    if (!IsFullPath(file)) return {};
    std::vector<wchar_t> full(32768);
    if (GetFullPathNameW(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr) ==
        0) {
        return {};
    }
    return full.data();
}

// The names of the keys nested in HKEY_CLASSES_ROOT\<path>.
std::vector<std::wstring> Subkeys(const std::wstring& path) {
    std::vector<std::wstring> names;
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | k32BitView,
                      PutOut(key)) != ERROR_SUCCESS) {
        return names;
    }
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

std::wstring ClassRoot() {
    return L"CLSID\\" + GuidText(server::kClsidClsMurl);
}

std::wstring ClassKey() {
    return ClassRoot() + L"\\InprocServer32";
}

bool KeyExists(const std::wstring& path) {
    RegistryKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | k32BitView,
                         PutOut(key)) == ERROR_SUCCESS;
}

// Why a game's process finds no file for the registered text.
std::string Unresolved(const std::wstring& stored) {
    if (stored.find_first_of(L"\\/:") == std::wstring::npos) {
        return "the class is registered by the name \"" + Utf8(stored) +
               "\" without its folder: a game started from its own folder cannot find it";
    }
    const bool driveless = stored[0] == L'\\' || stored[0] == L'/';
    return "the class is registered to \"" + Utf8(stored) + "\", which is not a full path: " +
           (driveless ? "it names no drive, and a game's process looks for it on the drive of its "
                        "own current folder"
                      : "a game's process looks for it in its own current folder");
}

// Whether the registered file is the installation's murl.dll, and if not, whether it is this
// release's at all. Sets `f.verified`.
void CheckSameFile(Findings& f, Report& report) {
    if (SameFile(f.resolved, f.module)) {
        f.verified = f.module_verified;
        report.Add({"registration.same_file", Status::kOk, "the same file", {}, {}});
        return;
    }
    const Digest digest = Sha256(f.resolved);
    f.verified = Shipped(digest);
    const std::string found =
        f.verified ? "the class is registered to another copy of murl.dll: " + Utf8(f.resolved) +
                         (f.setup.empty()
                              ? std::string()
                              : ", not to the one the setup program installed in " + Utf8(f.setup))
                   : "the class is registered to " + Utf8(f.resolved) +
                         ", which is not this release's murl.dll (" +
                         (digest.error.empty() ? SizeAndDigest(digest) : digest.error) +
                         "): another release, or another program's file. The doctor does not "
                         "run it.";
    report.Add({"registration.same_file", Status::kProblem, found, RegisterHere(f), {}});
}

void CheckPath(Findings& f, Report& report) {
    if (f.resolved.empty()) {
        report.Add(
            {"registration.path", Status::kProblem, Unresolved(f.registered), RegisterHere(f), {}});
    } else if (!FileExists(f.resolved)) {
        report.Add({"registration.path",
                    Status::kProblem,
                    "the class is registered to " + Utf8(f.resolved) + ", which does not exist",
                    RegisterHere(f),
                    {}});
    } else {
        report.Add({"registration.path", Status::kOk, Utf8(f.resolved), {}, {}});
        CheckSameFile(f, report);
        return;
    }
    report.Add({"registration.same_file",
                Status::kSkipped,
                "the game's process finds no registered file (above)",
                {},
                {}});
}

void CheckThreadingModel(const Findings& f, Report& report) {
    const auto model = ReadText(ClassKey(), L"ThreadingModel");
    if (!model ||
        CompareStringOrdinal(model->c_str(), -1, server::kThreadingModel, -1, TRUE) != CSTR_EQUAL) {
        report.Add({"registration.threading_model",
                    Status::kProblem,
                    "\"" + (model ? Utf8(*model) : std::string()) + "\", where Murl needs \"" +
                        Utf8(server::kThreadingModel) + "\"",
                    RegisterHere(f),
                    {}});
        return;
    }
    report.Add({"registration.threading_model", Status::kOk, Utf8(*model), {}, {}});
}

// Where a TreatAs under Murl's class sends a game's CoCreateInstance, as COM reads it: to
// another class, or to none when the text names no registered class.
void CheckActivation(const Findings& f, Report& report) {
    CLSID target{};
    const HRESULT hr = CoGetTreatAsClass(server::kClsidClsMurl, &target);
    if (hr == S_FALSE || (SUCCEEDED(hr) && target == server::kClsidClsMurl)) {
        report.Add({"registration.activation", Status::kOk, "murl.clsMurl itself", {}, {}});
        return;
    }
    const std::wstring key = ClassRoot() + L"\\TreatAs";
    std::string found = "HKEY_CLASSES_ROOT\\" + Utf8(key) +
                        " tells Windows to make another class whenever a game asks for "
                        "murl.clsMurl: ";
    const std::wstring target_key = L"CLSID\\" + GuidText(target);
    if (FAILED(hr) || (!KeyExists(target_key + L"\\InprocServer32") &&
                       !KeyExists(target_key + L"\\LocalServer32"))) {
        found += "\"" + Utf8(ReadText(key).value_or(L"")) +
                 "\", which names no registered class, so the game gets " +
                 SystemText(static_cast<DWORD>(REGDB_E_CLASSNOTREG)) + " and cannot start Murl";
    } else {
        const auto name = ReadText(target_key);
        found += Utf8(GuidText(target)) + (name ? " (" + Utf8(*name) + ")" : std::string()) +
                 ", so the game gets that class instead of Murl";
    }
    report.Add({"registration.activation", Status::kProblem, found, RegisterHere(f), {}});
}

void CheckClass(Findings& f, Report& report) {
    if (f.registered.empty() && KeyExists(ClassRoot())) {
        report.Add({"registration.class",
                    Status::kProblem,
                    "murl.clsMurl is registered without the file that serves it (" +
                        Utf8(ClassKey()) + " names no file): the game cannot load Murl",
                    RegisterHere(f),
                    {}});
        SkipRest(report, kClassChecks, "the class has no registered file (above)");
        return;
    }
    if (f.registered.empty()) {
        report.Add({"registration.class",
                    Status::kProblem,
                    "murl.clsMurl is not registered with Windows: the host cannot list Murl",
                    RegisterHere(f),
                    {}});
        SkipRest(report, kClassChecks, "the class is not registered (above)");
        return;
    }
    report.Add({"registration.class", Status::kOk, Utf8(f.registered), {}, {}});
    CheckPath(f, report);
    CheckThreadingModel(f, report);
}

void CheckProgId(const Findings& f, Report& report) {
    const std::wstring progid = std::wstring(server::kLibraryName) + L"." + server::kClassName;
    const std::wstring clsid = GuidText(server::kClsidClsMurl);
    const auto named = ReadText(progid + L"\\CLSID");
    if (!named && f.registered.empty()) {
        report.Add({"registration.progid", Status::kSkipped, kUnregistered, {}, {}});
    } else if (!named) {
        report.Add({"registration.progid",
                    Status::kProblem,
                    Utf8(progid) + " is not registered",
                    RegisterHere(f),
                    {}});
    } else if (CompareStringOrdinal(named->c_str(), -1, clsid.c_str(), -1, TRUE) != CSTR_EQUAL) {
        report.Add(
            {"registration.progid",
             Status::kProblem,
             Utf8(progid) + " names the class " + Utf8(*named) + ", not Murl's " + Utf8(clsid),
             RegisterHere(f),
             {}});
    } else {
        report.Add(
            {"registration.progid", Status::kOk, Utf8(progid) + " -> " + Utf8(clsid), {}, {}});
    }
}

std::wstring LibraryKey() {
    return L"TypeLib\\" + GuidText(server::kLibId);
}

std::wstring LibraryVersion() {
    return win32::WideDecimal(server::kLibMajor) + L"." + win32::WideDecimal(server::kLibMinor);
}

// What the registered type library file holds: Murl's library of this version, or not.
void CheckTypeLibraryFile(const Findings& f, const std::wstring& file, Report& report) {
    ComPtr<ITypeLib> library;
    TLIBATTR* attr = nullptr;
    HRESULT hr = LoadTypeLibEx(file.c_str(), REGKIND_NONE, PutOut(library));
    if (SUCCEEDED(hr)) hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) {
        report.Add({"registration.typelib_file",
                    Status::kProblem,
                    "cannot load the type library from " + Utf8(file) + ": " +
                        SystemText(static_cast<DWORD>(hr), file),
                    kReinstall,
                    {}});
        SkipRest(report, kLibraryFileChecks, "the type library does not load (above)");
        return;
    }
    report.Add({"registration.typelib_file", Status::kOk, Utf8(file), {}, {}});
    const bool murls = attr->guid == server::kLibId;
    const bool same =
        murls && attr->wMajorVerNum == server::kLibMajor && attr->wMinorVerNum == server::kLibMinor;
    const std::string version =
        DecimalUtf8(attr->wMajorVerNum) + "." + DecimalUtf8(attr->wMinorVerNum);
    const std::string found =
        murls ? "the file holds Murl's type library of version " + version +
                    ", where this murl.dll has version " + Utf8(LibraryVersion())
              : "the file holds another library, " + Utf8(GuidText(attr->guid)) + " version " +
                    version +
                    ", not Murl's: another program's type library is registered "
                    "under Murl's identity";
    library->ReleaseTLibAttr(attr);
    if (!same) {
        report.Add({"registration.typelib_version", Status::kProblem, found, RegisterHere(f), {}});
        return;
    }
    report.Add({"registration.typelib_version", Status::kOk, Utf8(LibraryVersion()), {}, {}});
}

void CheckTypeLibrary(const Findings& f, Report& report) {
    const std::vector<std::wstring> versions = Subkeys(LibraryKey());
    const auto file = ReadText(LibraryKey() + L"\\" + LibraryVersion() + L"\\0\\win32");
    if (!file && versions.empty() && f.registered.empty()) {
        report.Add({"registration.typelib", Status::kSkipped, kUnregistered, {}, {}});
        SkipRest(report, kLibraryFileChecks, kUnregistered);
        return;
    }
    if (!file) {
        std::string present;
        for (const std::wstring& v : versions) present += (present.empty() ? "" : ", ") + Utf8(v);
        report.Add({"registration.typelib",
                    Status::kProblem,
                    versions.empty() ? std::string("Murl's type library is not registered")
                                     : "registered as version " + present +
                                           ", where this murl.dll has " + Utf8(LibraryVersion()),
                    RegisterHere(f),
                    {}});
        SkipRest(report, kLibraryFileChecks, "the type library is not registered (above)");
        return;
    }
    report.Add({"registration.typelib", Status::kOk, "version " + Utf8(LibraryVersion()), {}, {}});
    if (!FileExists(*file) && SamePath(*file, f.resolved)) {
        SkipRest(report, kLibraryFileChecks, "the class's registered file is missing (above)");
    } else if (!FileExists(*file)) {
        report.Add({"registration.typelib_file",
                    Status::kProblem,
                    "the type library is registered to " + Utf8(*file) + ", which does not exist",
                    RegisterHere(f),
                    {}});
        SkipRest(report, kLibraryFileChecks, "the type library file is missing (above)");
    } else if (!f.module_verified && SameFile(*file, f.module)) {
        SkipRest(report, kLibraryFileChecks,
                 "murl.dll is not the file this release shipped (above)");
    } else {
        CheckTypeLibraryFile(f, *file, report);
    }
}

}  // namespace

void ReadRegistration(Findings& f) {
    DWORD type = 0;
    const auto stored = ReadStored(HKEY_CLASSES_ROOT, ClassKey(), nullptr, type);
    if (!stored || stored->empty()) return;
    f.registered = *stored;
    f.resolved = Resolved(AsComReadsIt(*stored, type));
}

std::wstring SetupInstallation() {
    DWORD type = 0;
    const auto folder =
        ReadStored(HKEY_LOCAL_MACHINE,
                   L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" MURL_SETUP_ENTRY,
                   L"InstallLocation", type);
    return folder.value_or(std::wstring());
}

void CheckRegistration(Findings& f, Report& report) {
    if (!f.installed) {
        SkipRest(report, "registration", "Murl is not installed");
        return;
    }
    CheckClass(f, report);
    CheckActivation(f, report);
    CheckProgId(f, report);
    CheckTypeLibrary(f, report);
}

}  // namespace murl::doctor
