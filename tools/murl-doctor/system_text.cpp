#include "checks.h"

#include "host/error.h"
#include "platform/win32/system_message.h"
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

bool SameFile(const std::wstring& a, const std::wstring& b) {
    try {
        return Win32FileSystemFactory().Create()->SameFile(win32::Utf16(a), win32::Utf16(b));
    } catch (const Error&) {
        return false;
    }
}

std::string RegisterHere(const Findings& f) {
    if (!FileExists(f.module)) return kReinstall;
    return "run Murl's setup program again, or \"regsvr32 murl.dll\" as administrator in " +
           Utf8(f.folder) + ".";
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
