// The registration as the host finds it, in the 32-bit view of the registry: the class, its
// file, its threading model, the ProgID and the type library.

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

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// A text value under HKEY_CLASSES_ROOT\<path> ("" names the default value); nothing when the
// key or the value is absent or not text. Environment references in an expandable text are
// expanded.
std::optional<std::wstring> ReadText(const std::wstring& path, const wchar_t* name = nullptr) {
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE | k32BitView,
                      PutOut(key)) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring text(data.data());
    if (type == REG_EXPAND_SZ) {
        std::vector<wchar_t> expanded(32768);
        if (ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                      static_cast<DWORD>(expanded.size())) > 0) {
            text = expanded.data();
        }
    }
    return text;
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

// Whether two paths name one file: by the file's identity where the system tells it, else
// by the full path in any letter case.
bool SameFile(const std::wstring& a, const std::wstring& b) {
    win32::FileHandle first(CreateFileW(a.c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    win32::FileHandle second(CreateFileW(b.c_str(), 0,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    if (first.open() && second.open() && GetFileInformationByHandle(first.get(), &x) &&
        GetFileInformationByHandle(second.get(), &y)) {
        return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
               x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
    }
    wchar_t full_a[MAX_PATH * 4], full_b[MAX_PATH * 4];
    if (!GetFullPathNameW(a.c_str(), MAX_PATH * 4, full_a, nullptr) ||
        !GetFullPathNameW(b.c_str(), MAX_PATH * 4, full_b, nullptr)) {
        return false;
    }
    return CompareStringOrdinal(full_a, -1, full_b, -1, TRUE) == CSTR_EQUAL;
}

std::string RegisterHere(const Findings& f) {
    return "run Murl's setup program again, or \"regsvr32 murl.dll\" as administrator in " +
           Utf8(f.folder) + ".";
}

void CheckClass(Findings& f, Report& report) {
    const std::wstring class_key = L"CLSID\\" + GuidText(server::kClsidClsMurl);
    const auto path = ReadText(class_key + L"\\InprocServer32");
    if (!path || path->empty()) {
        report.Add({"registration.class",
                    Status::kProblem,
                    "murl.clsMurl is not registered with Windows: the host cannot list Murl",
                    RegisterHere(f),
                    {}});
        for (const char* id :
             {"registration.path", "registration.same_file", "registration.threading_model"}) {
            report.Add({id, Status::kSkipped, "the class is not registered", {}, {}});
        }
        return;
    }
    f.registered = *path;
    report.Add({"registration.class", Status::kOk, Utf8(*path), {}, {}});

    if (!FileExists(*path)) {
        report.Add({"registration.path",
                    Status::kProblem,
                    "the class is registered to " + Utf8(*path) + ", which does not exist",
                    RegisterHere(f),
                    {}});
        report.Add(
            {"registration.same_file", Status::kSkipped, "the registered file is missing", {}, {}});
    } else {
        report.Add({"registration.path", Status::kOk, "present", {}, {}});
        if (SameFile(*path, f.module)) {
            report.Add({"registration.same_file", Status::kOk, "the same file", {}, {}});
        } else {
            report.Add({"registration.same_file",
                        Status::kProblem,
                        "the class is registered to another copy of murl.dll: " + Utf8(*path),
                        RegisterHere(f),
                        {}});
        }
    }

    const auto model = ReadText(class_key + L"\\InprocServer32", L"ThreadingModel");
    if (!model ||
        CompareStringOrdinal(model->c_str(), -1, server::kThreadingModel, -1, TRUE) != CSTR_EQUAL) {
        report.Add({"registration.threading_model",
                    Status::kProblem,
                    "\"" + (model ? Utf8(*model) : std::string()) + "\", where Murl needs \"" +
                        Utf8(server::kThreadingModel) + "\"",
                    RegisterHere(f),
                    {}});
    } else {
        report.Add({"registration.threading_model", Status::kOk, Utf8(*model), {}, {}});
    }
}

void CheckProgId(const Findings& f, Report& report) {
    const std::wstring progid = std::wstring(server::kLibraryName) + L"." + server::kClassName;
    const std::wstring clsid = GuidText(server::kClsidClsMurl);
    const auto named = ReadText(progid + L"\\CLSID");
    if (!named) {
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

void CheckTypeLibrary(const Findings& f, Report& report) {
    const std::wstring library_key = L"TypeLib\\" + GuidText(server::kLibId);
    const std::wstring version =
        win32::WideDecimal(server::kLibMajor) + L"." + win32::WideDecimal(server::kLibMinor);
    const std::vector<std::wstring> versions = Subkeys(library_key);
    if (versions.empty()) {
        report.Add({"registration.typelib",
                    Status::kProblem,
                    "Murl's type library is not registered",
                    RegisterHere(f),
                    {}});
        report.Add({"registration.typelib_file", Status::kSkipped, "not registered", {}, {}});
        report.Add({"registration.typelib_version", Status::kSkipped, "not registered", {}, {}});
        return;
    }
    const auto file = ReadText(library_key + L"\\" + version + L"\\0\\win32");
    if (!file) {
        std::string present;
        for (const std::wstring& v : versions) present += (present.empty() ? "" : ", ") + Utf8(v);
        report.Add(
            {"registration.typelib",
             Status::kProblem,
             "registered as version " + present + ", where this murl.dll has " + Utf8(version),
             RegisterHere(f),
             {}});
        report.Add({"registration.typelib_file", Status::kSkipped, "not registered", {}, {}});
        report.Add({"registration.typelib_version", Status::kSkipped, "not registered", {}, {}});
        return;
    }
    report.Add({"registration.typelib", Status::kOk, "version " + Utf8(version), {}, {}});

    if (!FileExists(*file)) {
        report.Add({"registration.typelib_file",
                    Status::kProblem,
                    "the type library is registered to " + Utf8(*file) + ", which does not exist",
                    RegisterHere(f),
                    {}});
        report.Add({"registration.typelib_version", Status::kSkipped, "no file", {}, {}});
        return;
    }
    ComPtr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(file->c_str(), REGKIND_NONE, PutOut(library));
    TLIBATTR* attr = nullptr;
    if (FAILED(hr) || FAILED(library->GetLibAttr(&attr))) {
        report.Add({"registration.typelib_file",
                    Status::kProblem,
                    "cannot load the type library from " + Utf8(*file) + ": " +
                        SystemText(static_cast<DWORD>(hr), *file),
                    kReinstall,
                    {}});
        report.Add({"registration.typelib_version", Status::kSkipped, "not loadable", {}, {}});
        return;
    }
    report.Add({"registration.typelib_file", Status::kOk, Utf8(*file), {}, {}});
    const bool same = attr->guid == server::kLibId && attr->wMajorVerNum == server::kLibMajor &&
                      attr->wMinorVerNum == server::kLibMinor;
    const std::string found = Utf8(GuidText(attr->guid)) + " version " +
                              std::to_string(attr->wMajorVerNum) + "." +
                              std::to_string(attr->wMinorVerNum);
    library->ReleaseTLibAttr(attr);
    if (!same) {
        report.Add({"registration.typelib_version",
                    Status::kProblem,
                    "the file holds " + found + ", not Murl's version " + Utf8(version),
                    RegisterHere(f),
                    {}});
        return;
    }
    report.Add({"registration.typelib_version", Status::kOk, Utf8(version), {}, {}});
}

}  // namespace

void CheckRegistration(Findings& f, Report& report) {
    CheckClass(f, report);
    CheckProgId(f, report);
    CheckTypeLibrary(f, report);
}

}  // namespace murl::doctor
