// The error log beside the module: whether this account can write it, and what it holds.
// The check leaves nothing behind: a log that is there is opened for appending and closed
// unwritten; a log that is not there is created as a file that goes when it is closed.

#include <vector>

#include "checks.h"
#include "platform/owned_handle.h"
#include "platform/win32/win32_holders.h"

namespace murl::doctor {

namespace {

constexpr wchar_t kLogName[] = L"murl_err.log";
constexpr size_t kLastEntries = 5;
constexpr DWORD kTailBytes = 64 * 1024;

using File = win32::FileHandle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Why this account cannot append to (or create) the log; empty when it can.
std::string WriteProblem(const std::wstring& log, bool exists) {
    File file(exists ? CreateFileW(log.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_EXISTING,
                                   0, nullptr)
                     : CreateFileW(log.c_str(), FILE_APPEND_DATA | DELETE, kShareAll, nullptr,
                                   CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file.open()) return SystemText(GetLastError(), log);
    return {};
}

// The log's lines from the last `kTailBytes`, as UTF-16 from the log's single-byte text.
std::vector<std::wstring> LastLines(const std::wstring& log, unsigned long long size) {
    std::vector<std::wstring> lines;
    File file(
        CreateFileW(log.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.open()) return lines;
    const DWORD wanted = size > kTailBytes ? kTailBytes : static_cast<DWORD>(size);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size - wanted);
    std::string bytes(wanted, '\0');
    DWORD got = 0;
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
        !ReadFile(file.get(), bytes.data(), wanted, &got, nullptr)) {
        return lines;
    }
    bytes.resize(got);
    size_t start = size > wanted ? bytes.find('\n') + 1 : 0;  // a cut first line is left out
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) {
            std::wstring wide(line.size(), L'\0');
            const int length =
                MultiByteToWideChar(1252, 0, line.data(), static_cast<int>(line.size()),
                                    wide.data(), static_cast<int>(wide.size()));
            wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
            for (wchar_t& c : wide) {
                if (c == L'\t') c = L' ';
            }
            lines.push_back(std::move(wide));
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace

void CheckErrorLog(const Findings& f, Report& report) {
    const std::wstring log = f.folder + L"\\" + kLogName;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool exists = GetFileAttributesExW(log.c_str(), GetFileExInfoStandard, &data) &&
                        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!f.installed) {
        report.Add({"log.writable", Status::kSkipped, "Murl is not installed", {}, {}});
        report.Add(exists ? Leftover("log.entries", Utf8(log),
                                     "delete it; it holds Murl's failures, no chat")
                          : Row{"log.entries", Status::kSkipped, "Murl is not installed", {}, {}});
        return;
    }
    const std::string problem = WriteProblem(log, exists);
    if (!problem.empty()) {
        report.Add({"log.writable",
                    Status::kProblem,
                    "this account cannot " + std::string(exists ? "append to " : "create ") +
                        Utf8(log) + ": " + problem,
                    "run Murl's setup program again, which lets every account write the log in "
                    "Murl's folder; until then Murl cannot record its failures.",
                    {}});
    } else {
        report.Add({"log.writable", Status::kOk, Utf8(log), {}, {}});
    }

    if (!exists) {
        report.Add({"log.entries",
                    Status::kOk,
                    "no murl_err.log yet: Murl has recorded no failure",
                    {},
                    {}});
        return;
    }
    const unsigned long long size =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    std::vector<std::wstring> lines = LastLines(log, size);
    Row row{
        "log.entries",
        lines.empty() ? Status::kOk : Status::kNote,
        std::to_string(size) + " bytes" +
            (lines.empty() ? std::string(", no entry")
                           : ", the last " + std::to_string(std::min(lines.size(), kLastEntries)) +
                                 " entries below (send the file with a report)"),
        {},
        {}};
    const size_t first = lines.size() > kLastEntries ? lines.size() - kLastEntries : 0;
    for (size_t i = first; i < lines.size(); ++i) row.details.push_back(Utf8(lines[i]));
    report.Add(std::move(row));
}

}  // namespace murl::doctor
