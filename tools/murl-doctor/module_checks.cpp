// The module beside the doctor: there, of this release, and byte for byte the file the
// release shipped.

#include "checks.h"

#include <bcrypt.h>

#include <vector>

#include "expected_module.h"
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

struct Digest {
    std::string hex;    // empty when the file could not be read
    std::string error;  // why not
    unsigned long long size = 0;
};

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

Digest Sha256(const std::wstring& path) {
    Digest digest;
    File file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.open()) {
        digest.error = SystemText(GetLastError(), path);
        return digest;
    }
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
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      nullptr)) {
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
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const unsigned char byte : value) {
        digest.hex += kDigits[byte >> 4];
        digest.hex += kDigits[byte & 0xF];
    }
    return digest;
}

std::string VersionText(DWORD ms, DWORD ls) {
    return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
           std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
}

void CheckVersion(const std::wstring& module, Report& report) {
    const std::string expected = VersionText(MAKELONG(MURL_VERSION_MINOR, MURL_VERSION_MAJOR),
                                             MAKELONG(MURL_VERSION_REVISION, MURL_VERSION_PATCH));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(module.c_str(), &ignored);
    std::vector<unsigned char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (size == 0 || !GetFileVersionInfoW(module.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        report.Add({"module.version",
                    Status::kProblem,
                    "murl.dll has no readable version resource: it is damaged or not Murl's",
                    kReinstall,
                    {}});
        return;
    }
    const std::string found = VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    if (found != expected) {
        report.Add({"module.version",
                    Status::kProblem,
                    "murl.dll is version " + found + ", this doctor belongs to " + expected,
                    kReinstall,
                    {}});
        return;
    }
    report.Add({"module.version", Status::kOk, found, {}, {}});
}

void CheckChecksum(const std::wstring& module, Report& report) {
    const Digest digest = Sha256(module);
    if (!digest.error.empty()) {
        report.Add({"module.checksum",
                    Status::kProblem,
                    "cannot read murl.dll: " + digest.error,
                    kReinstall,
                    {}});
        return;
    }
    if (digest.hex != MURL_DOCTOR_MODULE_SHA256) {
        report.Add({"module.checksum",
                    Status::kProblem,
                    "murl.dll is damaged or was replaced: " + std::to_string(digest.size) +
                        " bytes, SHA-256 " + digest.hex,
                    kReinstall,
                    {"this release's murl.dll: " + std::to_string(MURL_DOCTOR_MODULE_SIZE) +
                     " bytes, SHA-256 " + MURL_DOCTOR_MODULE_SHA256}});
        return;
    }
    report.Add({"module.checksum",
                Status::kOk,
                std::to_string(digest.size) + " bytes, SHA-256 " + digest.hex,
                {},
                {}});
}

}  // namespace

void CheckModule(Findings& f, Report& report) {
    if (!FileExists(f.module)) {
        report.Add({"module.present",
                    Status::kProblem,
                    "no murl.dll in " + Utf8(f.folder),
                    kReinstall,
                    {}});
        report.Add({"module.version", Status::kSkipped, "no murl.dll", {}, {}});
        report.Add({"module.checksum", Status::kSkipped, "no murl.dll", {}, {}});
        return;
    }
    report.Add({"module.present", Status::kOk, Utf8(f.module), {}, {}});
    CheckVersion(f.module, report);
    CheckChecksum(f.module, report);
}

}  // namespace murl::doctor
