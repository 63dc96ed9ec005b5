#include "checks.h"

#include <vector>

#include "host/error.h"
#include "platform/owned_handle.h"
#include "platform/win32/system_message.h"
#include "platform/win32/win32_holders.h"
#include "text/escaped_text.h"
#include "text/text.h"
#include "platform/win32/win32_text.h"

namespace murl::doctor {

std::string Utf8(std::wstring_view text) {
    return ToUtf8(win32::Utf16(text));
}

std::string Hex(DWORD value) {
    std::string hex = "0x";
    AppendHex(hex, value, 8);
    return hex;
}

namespace {

// Texts for the codes of COM and type libraries that some systems leave undescribed.
struct Described {
    DWORD code;
    const wchar_t* words;
};
constexpr Described kDescribed[] = {
    {static_cast<DWORD>(TYPE_E_CANTLOADLIBRARY), L"Error loading type library/DLL"},
    {static_cast<DWORD>(TYPE_E_LIBNOTREGISTERED), L"Library not registered"},
    {static_cast<DWORD>(TYPE_E_ELEMENTNOTFOUND), L"Element not found"},
    {static_cast<DWORD>(REGDB_E_CLASSNOTREG), L"Class not registered"},
    {static_cast<DWORD>(CO_E_DLLNOTFOUND), L"DLL for class not found"},
    {static_cast<DWORD>(CO_E_ERRORINDLL), L"Error in the DLL"},
};

}  // namespace

std::string SystemText(DWORD code, std::wstring_view file) {
    std::u16string words = win32::SystemMessage(code, u"\"" + win32::Utf16(file) + u"\"");
    for (const Described& d : kDescribed) {
        if (words.empty() && d.code == code) words = win32::Utf16(d.words);
    }
    if (words.empty()) words = u"an error the system does not describe";
    const std::string number =
        static_cast<LONG>(code) < 0 || code > 0xFFFF ? Hex(code) : Utf8(win32::WideDecimal(code));
    return ToUtf8(words) + " (" + number + ")";
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<unsigned long long> FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    try {
        return Win32FileSystemFactory().Create()->SameFile(win32::Utf16(a), win32::Utf16(b));
    } catch (const Error&) {
        return false;
    }
}

namespace {

struct TokenTraits {
    using Value = HANDLE;
    static HANDLE Empty() noexcept { return nullptr; }
    static void Close(HANDLE handle) noexcept { CloseHandle(handle); }
};
using Token = OwnedHandle<TokenTraits>;

// Whether a program of this account can change `module` or put another file in its place, and
// so decide what the game runs: by writing the file, or by deleting it (with the right to
// delete it or to delete in its folder) and adding a file to its folder.
bool OthersMayChange(const std::wstring& module) {
    DWORD error = 0;
    const std::wstring folder = FolderOf(module);
    return MayAccess(module, FILE_WRITE_DATA, error) ||
           ((MayAccess(module, DELETE, error) || MayAccess(folder, FILE_DELETE_CHILD, error)) &&
            MayAccess(folder, FILE_ADD_FILE, error));
}

}  // namespace

bool MayAccess(const std::wstring& path, DWORD access, DWORD& error) {
    constexpr SECURITY_INFORMATION kWhat =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), kWhat, nullptr, 0, &needed);
    std::vector<unsigned char> descriptor(needed ? needed : 1);
    Token process, identity;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges{};
    DWORD privileges_size = sizeof privileges, granted = 0;
    BOOL allowed = FALSE;
    if (!GetFileSecurityW(path.c_str(), kWhat, descriptor.data(), needed, &needed) ||
        !OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, PutOut(process)) ||
        !DuplicateToken(process.get(), SecurityIdentification, PutOut(identity)) ||
        !AccessCheck(descriptor.data(), identity.get(), access, &mapping, &privileges,
                     &privileges_size, &granted, &allowed)) {
        error = GetLastError();
        return false;
    }
    error = 0;
    return allowed != FALSE;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    std::vector<wchar_t> full_a(32768), full_b(32768);
    return !a.empty() && !b.empty() &&
           GetFullPathNameW(a.c_str(), 32768, full_a.data(), nullptr) > 0 &&
           GetFullPathNameW(b.c_str(), 32768, full_b.data(), nullptr) > 0 &&
           CompareStringOrdinal(full_a.data(), -1, full_b.data(), -1, TRUE) == CSTR_EQUAL;
}

std::string RegisterHere(const Findings& f) {
    if (!f.setup.empty()) {
        return "run Murl's setup program again: it puts back murl.dll in " + Utf8(f.setup) +
               " and registers it.";
    }
    if (!FileExists(f.module)) return kReinstall;
    const std::string regsvr32 = "\"regsvr32 murl.dll\" as administrator in " + Utf8(f.folder);
    if (!OthersMayChange(f.module)) return "run " + regsvr32 + ".";
    return "install Murl with its setup program, which puts murl.dll where only administrators "
           "can change it. Running " +
           regsvr32 +
           " would register this copy too, but any program this account runs can replace "
           "murl.dll there, and the game would then run what that program put in its place.";
}

Row Leftover(CheckId id, const std::string& what, const std::string& removal) {
    return {id, Status::kNote, "left of Murl: " + what, {}, {"to remove it: " + removal}};
}

namespace {

bool Reported(const Report& report, CheckId id) {
    for (const Row& row : report.rows()) {
        if (row.id == id) return true;
    }
    return false;
}

}  // namespace

void SkipRest(Report& report, Area area, const std::string& why) {
    for (const CheckRow& check : kChecks) {
        const CheckId id = CheckId::Of(check);
        if (check.area == area && !Reported(report, id)) {
            report.Add({id, Status::kSkipped, why, {}, {}});
        }
    }
}

void SkipRest(Report& report, std::span<const CheckId> ids, const std::string& why) {
    for (const CheckId id : ids) {
        if (!Reported(report, id)) report.Add({id, Status::kSkipped, why, {}, {}});
    }
}

}  // namespace murl::doctor
