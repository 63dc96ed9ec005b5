// The installation checked (the doctor's own, else the registered one) and its murl.dll: there,
// of this release, and byte for byte the file the release shipped.

#include "checks.h"

#include <bcrypt.h>
#include <shlobj.h>

#include <vector>

#include "expected_module.h"
#include "text/escaped_text.h"
#include "murl_version.h"
#include "platform/owned_handle.h"
#include "platform/win32/win32_holders.h"

namespace murl::doctor {

namespace {

using File = win32::FileHandle;

struct AlgorithmTraits {
    using Value = BCRYPT_ALG_HANDLE;
    static Value Empty() noexcept { return nullptr; }
    static void Close(Value handle) noexcept { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct HashTraits {
    using Value = BCRYPT_HASH_HANDLE;
    static Value Empty() noexcept { return nullptr; }
    static void Close(Value handle) noexcept { BCryptDestroyHash(handle); }
};

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

Digest Sha256(HANDLE file, const std::wstring& path) {
    Digest digest;
    OwnedHandle<AlgorithmTraits> algorithm;
    OwnedHandle<HashTraits> hash;
    if (!Succeeded(
            BCryptOpenAlgorithmProvider(PutOut(algorithm), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(BCryptCreateHash(algorithm.get(), PutOut(hash), nullptr, 0, nullptr, 0, 0))) {
        digest.error = "the system offers no SHA-256";
        return digest;
    }
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            digest.error = SystemText(GetLastError(), path);
            return digest;
        }
        if (got == 0) break;
        digest.size += got;
        if (!Succeeded(BCryptHashData(hash.get(), buffer.data(), got, 0))) {
            digest.error = "the system could not compute the SHA-256";
            return digest;
        }
    }
    unsigned char value[32];
    if (!Succeeded(BCryptFinishHash(hash.get(), value, sizeof value, 0))) {
        digest.error = "the system could not compute the SHA-256";
        return digest;
    }
    for (const unsigned char byte : value) AppendHex(digest.hex, byte, 2, HexCase::kLower);
    return digest;
}

Digest Sha256(const std::wstring& path) {
    File file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.open()) {
        Digest digest;
        digest.error = SystemText(GetLastError(), path);
        return digest;
    }
    return Sha256(file.get(), path);
}

bool Shipped(const Digest& digest) {
    return digest.error.empty() && digest.size == MURL_DOCTOR_MODULE_SIZE &&
           digest.hex == MURL_DOCTOR_MODULE_SHA256;
}

std::string SizeAndDigest(const Digest& digest) {
    return DecimalUtf8(Whole{digest.size}) + " bytes, SHA-256 " + digest.hex;
}

namespace {

std::string VersionText(DWORD ms, DWORD ls) {
    return DecimalUtf8(HIWORD(ms)) + "." + DecimalUtf8(LOWORD(ms)) + "." + DecimalUtf8(HIWORD(ls)) +
           "." + DecimalUtf8(LOWORD(ls));
}

// The module's version, or empty when it has none that can be read. Read as data: nothing in
// the file runs.
std::string VersionOf(const std::wstring& module) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(module.c_str(), &ignored);
    std::vector<unsigned char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(module.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return {};
    }
    return VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
}

std::string ExpectedVersion() {
    return VersionText(MAKELONG(MURL_VERSION_MINOR, MURL_VERSION_MAJOR),
                       MAKELONG(MURL_VERSION_REVISION, MURL_VERSION_PATCH));
}

// What a file that is not the shipped murl.dll is, judged by its version resource.
std::string Kind(const std::string& found) {
    if (found.empty()) return "it has no version resource: a damaged file, or not Murl's";
    if (found != ExpectedVersion()) return "version " + found + ", another release";
    return "version " + found + ", changed since it was shipped";
}

// The version row: a note when the checksum already names the cause, so that it counts once.
void CheckVersion(const std::wstring& module, bool shipped, Report& report) {
    const std::string found = VersionOf(module);
    const std::string expected = ExpectedVersion();
    if (shipped || found == expected) {
        report.Add({"module.version", Status::kOk, found, {}, {}});
        return;
    }
    report.Add({"module.version",
                Status::kNote,
                (found.empty() ? "none readable" : found) + ", where this doctor belongs to " +
                    expected + " (the checksum below is the problem)",
                {},
                {}});
}

// The checksum row; `shipped` tells whether the module is the file this release shipped.
Row ChecksumRow(const std::wstring& module, bool& shipped) {
    const Digest digest = Sha256(module);
    shipped = Shipped(digest);
    if (!digest.error.empty()) {
        return {"module.checksum",
                Status::kProblem,
                "cannot read murl.dll: " + digest.error,
                kReinstall,
                {}};
    }
    if (!shipped) {
        return {"module.checksum",
                Status::kProblem,
                "murl.dll is damaged or was replaced (" + Kind(VersionOf(module)) +
                    "): " + SizeAndDigest(digest) + ". The doctor does not run it.",
                kReinstall,
                {"this release's murl.dll: " + DecimalUtf8(MURL_DOCTOR_MODULE_SIZE) +
                 " bytes, SHA-256 " + MURL_DOCTOR_MODULE_SHA256}};
    }
    return {"module.checksum", Status::kOk, SizeAndDigest(digest), {}, {}};
}

// The setup program's folder, where an uninstall leaves the player's log.
std::wstring SetupFolder() {
    wchar_t* programs = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramFilesX86, 0, nullptr, &programs))) {
        folder = std::wstring(programs) + L"\\Murl";
    }
    CoTaskMemFree(programs);
    return folder;
}

// The files Windows deletes when it restarts: the session manager's pending operations are pairs
// of NT paths ("\??\C:\folder\file"), and an empty second one deletes the first.
std::vector<std::wstring> ScheduledDeletions() {
    constexpr wchar_t kKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    constexpr wchar_t kValue[] = L"PendingFileRenameOperations";
    std::vector<std::wstring> deleted;
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS) {
        return deleted;
    }
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kKey, kValue, RRF_RT_REG_MULTI_SZ, nullptr, data.data(),
                     &size) != ERROR_SUCCESS) {
        return deleted;
    }
    const wchar_t* at = data.data();
    const wchar_t* const end = data.data() + size / sizeof(wchar_t);
    while (at < end && *at != L'\0') {
        std::wstring_view source(at);
        const wchar_t* target = at + source.size() + 1;
        if (target >= end) break;
        if (*target == L'\0') {
            if (source.starts_with(L"\\??\\")) source.remove_prefix(4);
            deleted.emplace_back(source);
        }
        at = target + std::wstring_view(target).size() + 1;
    }
    return deleted;
}

bool Scheduled(const std::vector<std::wstring>& deleted, const std::wstring& path) {
    for (const std::wstring& each : deleted) {
        if (SameFile(each, path)) return true;
    }
    return false;
}

// What an uninstall left in the setup program's folder beside the player's log (which the log's
// check names): files a running game had loaded, which Windows deletes when it restarts.
void AddLeftFiles(Report& report) {
    const std::wstring folder = SetupFolder();
    if (folder.empty()) return;
    const std::vector<std::wstring> deleted = ScheduledDeletions();
    std::vector<std::string> details;
    bool all_scheduled = true;
    WIN32_FIND_DATAW found{};
    win32::FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = find.open(); more; more = FindNextFileW(find.get(), &found)) {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || name == L"murl_err.log" || name == L"ARCH") continue;
        const bool scheduled = Scheduled(deleted, folder + L"\\" + name);
        all_scheduled = all_scheduled && scheduled;
        const std::string user =
            name == L"murl.dll" ? "the game had it loaded" : "a program had it open";
        details.push_back(Utf8(name) +
                          (scheduled ? ": in use by a running program when Murl was uninstalled (" +
                                           user + "); Windows deletes it when it restarts"
                                     : ": left by an uninstall while a program had it open, "
                                       "and not scheduled for deletion"));
    }
    if (details.empty()) return;
    const std::string them = details.size() == 1 ? "it" : "them";
    details.push_back(all_scheduled ? "to remove " + them + ": close the game and restart Windows."
                                    : "to remove " + them + ": close the game, then delete " +
                                          them + " from " + Utf8(folder) + ".");
    report.Add(
        {"module.present",
         Status::kNote,
         "left of Murl in " + Utf8(folder) + ": " + Counted(details.size() - 1, "file", "files"),
         {},
         std::move(details)});
}

// murl.dll there; a note when an upgrade kept the earlier module aside for a game that had it
// loaded, which runs that release until it is started again.
Row PresentRow(const std::wstring& module) {
    const std::wstring previous = module + L".previous";
    if (!FileExists(previous)) return {"module.present", Status::kOk, Utf8(module), {}, {}};
    return {"module.present",
            Status::kNote,
            Utf8(module) +
                ", and beside it murl.dll.previous: the earlier release, kept aside by "
                "an upgrade while a running game had it loaded",
            {},
            {"a game started before the upgrade runs the earlier release until it is started "
             "again",
             Scheduled(ScheduledDeletions(), previous)
                 ? "to use this release: close the game and start it again. Windows deletes "
                   "murl.dll.previous when it restarts."
                 : "to use this release: close the game and start it again, then run Murl's "
                   "setup program again: it deletes murl.dll.previous."}};
}

// Says which installation the checks look at (chosen before them) and, when this doctor runs
// from another folder, that it does. With none and nothing registered, Murl is not installed.
void Locate(Findings& f, Report& report) {
    const std::wstring& own = f.own;
    const std::string which =
        f.setup.empty() ? "the registered installation" : "installed by the setup program";
    if (f.setup.empty() && f.registered.empty() && !FileExists(f.module)) {
        f.installed = false;
        const std::wstring setup = SetupFolder();
        if (!setup.empty() && GetFileAttributesW(setup.c_str()) != INVALID_FILE_ATTRIBUTES) {
            f.folder = setup;
            f.module = setup + L"\\murl.dll";
        }
        report.Add(
            {"module.installation",
             Status::kProblem,
             "Murl is not installed: murl.clsMurl is not registered and there is no murl.dll "
             "in " +
                 Utf8(own),
             "to use Murl, run its setup program. What is left of Murl for this account "
             "is listed below, with how to remove it.",
             {}});
    } else if (SamePath(f.folder, own)) {
        report.Add(
            {"module.installation", Status::kOk, Utf8(own) + ", where this doctor runs", {}, {}});
    } else if (FileExists(own + L"\\murl.dll")) {
        report.Add({"module.installation",
                    Status::kNote,
                    "this doctor runs from another copy of Murl, in " + Utf8(own) + "; it checks " +
                        Utf8(f.folder) + ", " + which + ".",
                    {},
                    {}});
    } else {
        report.Add({"module.installation",
                    Status::kOk,
                    Utf8(f.folder) + ", " + which + " (this doctor runs from " + Utf8(own) + ")",
                    {},
                    {}});
    }
}

}  // namespace

void CheckModule(Findings& f, Report& report) {
    Locate(f, report);
    if (!f.installed) {
        AddLeftFiles(report);
        SkipRest(report, "module", "Murl is not installed");
        return;
    }
    if (!FileExists(f.module)) {
        report.Add({"module.present",
                    Status::kProblem,
                    "no murl.dll in " + Utf8(f.folder),
                    kReinstall,
                    {}});
        SkipRest(report, "module", "no murl.dll");
        return;
    }
    report.Add(PresentRow(f.module));
    Row checksum = ChecksumRow(f.module, f.module_verified);
    CheckVersion(f.module, f.module_verified, report);
    report.Add(std::move(checksum));
}

}  // namespace murl::doctor
