// The error log beside the module: whether this account can write it, and what it holds.
// The check leaves Murl's folder as it was: a log that is there is opened for appending, as
// murl.dll opens it, and closed unwritten; when there is none, the folder's security and its
// drive say whether this account may create one, and nothing is created.

#include <cstdio>
#include <vector>

#include "checks.h"
#include "log_summary.h"
#include "platform/owned_handle.h"
#include "platform/win32/win32_holders.h"

namespace murl::doctor {

namespace {

constexpr wchar_t kLogName[] = L"murl_err.log";
constexpr size_t kLastEntries = 5;
constexpr unsigned long long kLargeLog = 1024ull * 1024;
constexpr DWORD kChunk = 1024 * 1024;

using File = win32::FileHandle;

// murl.dll's own opening of the log: appending, with the reading that its lock needs, and
// sharing with another writer but not with a deleter.
constexpr DWORD kAccessAsMurl = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES;
constexpr DWORD kShareAsMurl = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

enum class Place { kNone, kFile, kFolder, kUnknown };

struct LogFile {
    std::wstring path;
    Place place = Place::kNone;
    DWORD attributes = 0;
    unsigned long long size = 0;
    DWORD error = 0;  // why its place is unknown
};

LogFile Look(const std::wstring& folder) {
    LogFile log{folder + L"\\" + kLogName};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(log.path.c_str(), GetFileExInfoStandard, &data)) {
        log.error = GetLastError();
        const bool missing = log.error == ERROR_FILE_NOT_FOUND || log.error == ERROR_PATH_NOT_FOUND;
        log.place = missing ? Place::kNone : Place::kUnknown;
        return log;
    }
    log.attributes = data.dwFileAttributes;
    log.place = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? Place::kFolder : Place::kFile;
    log.size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return log;
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the drive holding `folder` is read-only; false when it cannot tell.
bool ReadOnlyDrive(const std::wstring& folder) {
    wchar_t root[MAX_PATH + 1];
    DWORD flags = 0;
    return GetVolumePathNameW(folder.c_str(), root, MAX_PATH + 1) &&
           GetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
           (flags & FILE_READ_ONLY_VOLUME);
}

void AddWritable(Report& report, Status status, std::string found, std::string action = {}) {
    report.Add({"log.writable", status, std::move(found), std::move(action), {}});
}

void AddEntries(Report& report, Status status, std::string found) {
    report.Add({"log.entries", status, std::move(found), {}, {}});
}

// No log yet: whether this account could create one. Returns whether it could.
bool CheckCreation(const std::wstring& folder, const LogFile& log, Report& report) {
    const std::string cannot = "this account cannot create " + Utf8(log.path) + ": ";
    if (ReadOnlyDrive(folder)) {
        AddWritable(report, Status::kProblem, cannot + "the drive Murl is on cannot be written",
                    "uninstall Murl, then run its setup program again and choose a folder on a "
                    "drive that can be written.");
        return false;
    }
    DWORD error = 0;
    if (MayAccess(folder, FILE_ADD_FILE, error)) {
        AddWritable(report, Status::kOk,
                    Utf8(log.path) + " (not there yet; this account may create it)");
        return true;
    }
    AddWritable(report, Status::kProblem,
                cannot + (error ? SystemText(error, folder)
                                : "Murl's folder does not let this account add files"),
                "run Murl's setup program again, which lets every account add its log to "
                "Murl's folder; until then Murl cannot record its failures.");
    return false;
}

// The log is there: opens it to append, as murl.dll does, and closes it unwritten. murl.dll
// refuses a log marked read-only, whoever runs it, and so does the doctor.
void CheckAppending(const std::wstring& folder, const LogFile& log, Report& report) {
    if (log.attributes & FILE_ATTRIBUTE_READONLY) {
        return AddWritable(report, Status::kProblem,
                           Utf8(log.path) + " is marked read-only, so Murl cannot add to it",
                           "clear \"Read-only\" in the Properties of murl_err.log, or delete it "
                           "while the game is closed: Murl starts a new one.");
    }
    const File file(CreateFileW(log.path.c_str(), kAccessAsMurl, kShareAsMurl, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    const DWORD error = file.open() ? 0 : GetLastError();
    if (error == 0) return AddWritable(report, Status::kOk, Utf8(log.path));
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return AddWritable(
            report, Status::kProblem,
            "another program has " + Utf8(log.path) +
                " open and lets no one else write it, so Murl cannot record its failures",
            "close the program that has murl_err.log open (an editor, a viewer, a backup or a "
            "virus scan), or restart the computer; the setup program cannot help.");
    }
    DWORD unused = 0;
    std::string action =
        "delete or rename murl_err.log while the game is closed (Windows may "
        "ask for an administrator); Murl starts a new one that this account "
        "can write.";
    if (!MayAccess(folder, FILE_ADD_FILE, unused))
        action = "run Murl's setup program again, then " + action;
    AddWritable(
        report, Status::kProblem,
        "this account cannot append to " + Utf8(log.path) + ": " + SystemText(error, log.path),
        action);
}

// Reads the whole log a chunk at a time into `summary`, each line from the log's single-byte
// text; false when it cannot be read.
bool Summarise(const std::wstring& log, LogSummary& summary) {
    const File file(
        CreateFileW(log.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.open()) return false;
    std::string pending, chunk(kChunk, '\0');
    DWORD got = 0;
    auto add = [&summary](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::wstring wide(line.size(), L'\0');
        const int length = MultiByteToWideChar(1252, 0, line.data(), static_cast<int>(line.size()),
                                               wide.data(), static_cast<int>(wide.size()));
        wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
        summary.Add(Utf8(wide));
    };
    while (ReadFile(file.get(), chunk.data(), kChunk, &got, nullptr) && got > 0) {
        pending.append(chunk.data(), got);
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            add(std::string_view(pending).substr(start, end - start));
        }
        pending.erase(0, start);
    }
    add(pending);
    return true;
}

std::string Entries(size_t count) {
    return Counted(count, "entry", "entries");
}

// What the log holds: its last entries, and for a large one what repeats in it.
void CheckEntries(const std::wstring& folder, const LogFile& log, Report& report) {
    LogSummary summary(kLastEntries);
    if (!Summarise(log.path, summary)) {
        return AddEntries(report, Status::kSkipped,
                          "cannot be read: " + SystemText(GetLastError(), log.path));
    }
    std::string found = std::to_string(log.size) + " bytes";
    if (summary.entries() == 0) return AddEntries(report, Status::kOk, found + ", no entry");
    Row row{"log.entries", Status::kNote, {}, {}, {}};
    if (log.size > kLargeLog) {
        char megabytes[32];
        std::snprintf(megabytes, sizeof megabytes, " (%.1f MB)",
                      static_cast<double>(log.size) / kLargeLog);
        const Recurring most = summary.MostFrequent();
        found += megabytes;
        row.details.push_back("most frequent, " + Counted(most.count, "time", "times") + " from " +
                              most.first + " to " + most.last + ": " + most.failure);
        row.details.push_back(
            "murl_err.log may be deleted or renamed while the game is closed: "
            "Murl starts a new one.");
    }
    const size_t shown = summary.last().size();
    row.found = found + ", " + Entries(summary.entries()) + "; " +
                (shown == 1 ? std::string("the last entry") : "the last " + Entries(shown)) +
                " below (send the file with a report)";
    row.details.insert(row.details.end(), summary.last().begin(), summary.last().end());
    if (IsFolder(folder + L"\\ARCH")) {
        row.details.push_back(
            "an ARCH folder beside it holds logs archived earlier; Murl "
            "itself never writes there.");
    }
    report.Add(std::move(row));
}

}  // namespace

void CheckErrorLog(const Findings& f, Report& report) {
    const LogFile log = Look(f.folder);
    if (!f.installed) {
        report.Add({"log.writable", Status::kSkipped, "Murl is not installed", {}, {}});
        report.Add(log.place == Place::kFile
                       ? Leftover("log.entries", Utf8(log.path),
                                  "delete it; it holds Murl's failures, no chat")
                       : Row{"log.entries", Status::kSkipped, "Murl is not installed", {}, {}});
        return;
    }
    switch (log.place) {
        case Place::kFolder:
            AddWritable(
                report, Status::kProblem,
                "a folder named murl_err.log is where Murl writes its log: " + Utf8(log.path),
                "move what that folder holds elsewhere and delete it; Murl then creates "
                "its log there.");
            return AddEntries(report, Status::kSkipped, "no log: a folder is in its place");
        case Place::kUnknown:
            AddWritable(report, Status::kProblem,
                        "cannot look at " + Utf8(log.path) + ": " + SystemText(log.error, log.path),
                        kReinstall);
            return AddEntries(report, Status::kSkipped, "the log cannot be looked at");
        case Place::kNone:
            if (CheckCreation(f.folder, log, report)) {
                return AddEntries(report, Status::kOk,
                                  "no murl_err.log yet: Murl has recorded no failure");
            }
            return AddEntries(report, Status::kSkipped,
                              "no murl_err.log: Murl cannot have recorded a failure");
        case Place::kFile:
            CheckAppending(f.folder, log, report);
            return CheckEntries(f.folder, log, report);
    }
}

}  // namespace murl::doctor
