// The installation checked (the doctor's own, else the registered one) and its murl.dll: there,
// of this release, and byte for byte the file the release shipped.

#include "checks.h"

#include <bcrypt.h>
#include <shlobj.h>

#include <vector>

#include "expected_module.h"
#include "host/escaped_text.h"
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
    return std::to_string(digest.size) + " bytes, SHA-256 " + digest.hex;
}

namespace {

std::string VersionText(DWORD ms, DWORD ls) {
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
           std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
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
                {"this release's murl.dll: " + std::to_string(MURL_DOCTOR_MODULE_SIZE) +
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
    report.Add({"module.present", Status::kOk, Utf8(f.module), {}, {}});
    Row checksum = ChecksumRow(f.module, f.module_verified);
    CheckVersion(f.module, f.module_verified, report);
    report.Add(std::move(checksum));
}

}  // namespace murl::doctor
