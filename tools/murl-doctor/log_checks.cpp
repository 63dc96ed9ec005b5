// The error log beside the module: whether this account can write it, and what it holds.
// The check leaves Murl's folder as it was: a log that is there is opened for appending, as
// murl.dll opens it, and closed unwritten; when there is none, the folder's security and its
// drive say whether this account may create one, and nothing is created.

#include <algorithm>
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

// Whether Murl can add to its log: not at all, yes, or only until its drive is full.
enum class Writable { kNo, kYes, kNoRoom };

// Murl may write `log`: its row says so (`found`, where), unless the log's drive has too little
// room for Murl's entries.
Writable AddWithRoom(const std::wstring& folder, const LogFile& log, const std::string& found,
                     Report& report) {
    const Room room = RoomFor(folder);
    if (room.error != 0) {
        AddWritable(report, Status::kNote,
                    found + "; the room left on its drive cannot be told: " +
                        SystemText(room.error, room.drive));
        return Writable::kYes;
    }
    if (room.free >= kLogRoom) {
        AddWritable(report, Status::kOk,
                    found + " (" + SizeText(room.free) + " free on " + DriveName(room) + ")");
        return Writable::kYes;
    }
    AddWritable(report, Status::kProblem,
                LessRoomThan(room, kLogRoom) + " that Murl needs for its log " + Utf8(log.path) +
                    ": a failure that Murl cannot write there is lost, and the first one "
                    "switches the log off until the game starts again",
                "free at least " + SizeText(kLogRoom) + " on " + DriveName(room) +
                    " (delete files you no longer need, empty the Recycle Bin), then start the "
                    "game again.");
    return Writable::kNoRoom;
}

// No log yet: whether this account could create one.
Writable CheckCreation(const std::wstring& folder, const LogFile& log, Report& report) {
    const std::string cannot = "this account cannot create " + Utf8(log.path) + ": ";
    if (ReadOnlyDrive(folder)) {
        AddWritable(report, Status::kProblem, cannot + "the drive Murl is on cannot be written",
                    "uninstall Murl, then run its setup program again and choose a folder on a "
                    "drive that can be written.");
        return Writable::kNo;
    }
    DWORD error = 0;
    if (MayAccess(folder, FILE_ADD_FILE, error)) {
        return AddWithRoom(folder, log,
                           Utf8(log.path) + " (not there yet; this account may create it)", report);
    }
    AddWritable(report, Status::kProblem,
                cannot + (error ? SystemText(error, folder)
                                : "Murl's folder does not let this account add files"),
                "run Murl's setup program again, which lets every account add its log to "
                "Murl's folder; until then Murl cannot record its failures.");
    return Writable::kNo;
}

// The log is there: opens it to append, as murl.dll does, and closes it unwritten. murl.dll
// refuses a log marked read-only, whoever runs it, and so does the doctor.
Writable CheckAppending(const std::wstring& folder, const LogFile& log, Report& report) {
    if (log.attributes & FILE_ATTRIBUTE_READONLY) {
        AddWritable(report, Status::kProblem,
                    Utf8(log.path) + " is marked read-only, so Murl cannot add to it",
                    "clear \"Read-only\" in the Properties of murl_err.log, or delete it "
                    "while the game is closed: Murl starts a new one.");
        return Writable::kNo;
    }
    const File file(CreateFileW(log.path.c_str(), kAccessAsMurl, kShareAsMurl, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    const DWORD error = file.open() ? 0 : GetLastError();
    if (error == 0) return AddWithRoom(folder, log, Utf8(log.path), report);
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        AddWritable(
            report, Status::kProblem,
            "another program has " + Utf8(log.path) +
                " open and lets no one else write it, so Murl cannot record its failures",
            "close the program that has murl_err.log open (an editor, a viewer, a backup or a "
            "virus scan), or restart the computer; the setup program cannot help.");
        return Writable::kNo;
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
    return Writable::kNo;
}

// How far the log could be read: all of it, or up to a failure of the system.
struct Reading {
    bool opened = false;
    DWORD error = 0;  // why it could not be opened, or why reading stopped short
};

// Reads the log a chunk at a time into `summary`, whatever its size or content, in memory
// that the chunk and the summary bound.
Reading Summarise(const std::wstring& log, LogSummary& summary) {
    const File file(CreateFileW(log.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.open()) return {false, GetLastError()};
    std::vector<char> chunk(kChunk);
    Reading reading{true, 0};
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk.data(), kChunk, &got, nullptr)) {
            reading.error = GetLastError();
            break;
        }
        if (got == 0) break;
        summary.Read(std::string_view(chunk.data(), got));
    }
    summary.End();
    return reading;
}

std::string Entries(size_t count) {
    return Counted(count, "entry", "entries");
}

// What in the log is not Murl's text: stretches of zero bytes and a part that could not be
// read, each where it is and how long, with what to do. Returns whether there is any.
bool AddDamage(const LogFile& log, const LogSummary& summary, const Reading& reading, Row& row) {
    for (const Stretch& stretch : summary.stretches()) {
        row.details.push_back(DescribeStretch(stretch));
    }
    const size_t unlisted = summary.stretch_count() - summary.stretches().size();
    if (unlisted > 0) {
        row.details.push_back("and " + Counted(unlisted, "stretch", "stretches") +
                              " more; zero bytes in all: " + SizeText(summary.stretch_bytes()));
    }
    if (summary.stretch_count() > 0) {
        const size_t after = summary.entries_after_stretch();
        row.details.push_back(
            "Murl never writes a zero byte: a crash or a power cut left these where entries "
            "were being written. Murl adds its entries after them" +
            (after > 0 ? " (" + Entries(after) + " since the last)" : std::string()) + ".");
    }
    if (reading.error != 0) {
        row.details.push_back("from offset " + DecimalUtf8(static_cast<int64_t>(summary.bytes())) +
                              " on (" + SizeText(log.size - std::min(summary.bytes(), log.size)) +
                              ") it cannot be read: " + SystemText(reading.error, log.path));
    }
    if (summary.stretch_count() == 0 && reading.error == 0) return false;
    row.action =
        "rename murl_err.log (to send it with a report) or delete it, while the game is "
        "closed: Murl starts a new one.";
    return true;
}

// For a log of much text: the failure that recurs most, and that the log may go.
void AddMostFrequent(const LogSummary& summary, bool damaged, Row& row) {
    const Recurring most = summary.MostFrequent();
    if (most.count < 2) return;
    row.details.push_back("most frequent, " + Counted(most.count, "time", "times") + " from " +
                          most.first + " to " + most.last + ": " + most.failure);
    if (!damaged) {
        row.details.push_back(
            "murl_err.log may be deleted or renamed while the game is closed: "
            "Murl starts a new one.");
    }
}

// What the log holds: its last entries, what is not text in it, and for one of much text what
// repeats in it. `no_room`: its drive is too full for Murl's entries.
void CheckEntries(const std::wstring& folder, const LogFile& log, bool no_room, Report& report) {
    LogSummary summary(kLastEntries);
    const Reading reading = Summarise(log.path, summary);
    if (!reading.opened) {
        return AddEntries(report, Status::kSkipped,
                          "cannot be read: " + SystemText(reading.error, log.path));
    }
    Row row{"log.entries", Status::kNote, SizeText(log.size), {}, {}};
    const bool damaged = AddDamage(log, summary, reading, row);
    if (summary.entries() == 0) {
        // Murl creates its log only to write an entry: an empty one holds an entry not written.
        if (!damaged && log.size > 0) {
            return AddEntries(report, Status::kOk, row.found + ", no entry");
        }
        row.found += log.size > 0 ? ", no entry"
                     : no_room    ? ", no entry: Murl creates it only to write an entry, and "
                                    "with its drive this full that entry may have been lost"
                                  : ", no entry: Murl creates it only to write an entry, so one "
                                    "may have been lost";
        return report.Add(std::move(row));
    }
    if (summary.bytes() - summary.stretch_bytes() > kLargeLog) {
        AddMostFrequent(summary, damaged, row);
    }
    const size_t shown = summary.last().size();
    row.found += ", " + Entries(summary.entries()) + "; " +
                 (shown == 1 ? std::string("the last entry") : "the last " + Entries(shown)) +
                 " below (send the file with a report)";
    row.details.insert(row.details.end(), summary.last().begin(), summary.last().end());
    if (FolderExists(folder + L"\\ARCH")) {
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
            switch (CheckCreation(f.folder, log, report)) {
                case Writable::kYes:
                    return AddEntries(report, Status::kOk,
                                      "no murl_err.log yet: Murl has recorded no failure");
                case Writable::kNoRoom:
                    return AddEntries(report, Status::kNote,
                                      "no murl_err.log yet, and with its drive this full a "
                                      "failure may have been lost");
                case Writable::kNo:
                    break;
            }
            return AddEntries(report, Status::kSkipped,
                              "no murl_err.log: Murl cannot have recorded a failure");
        case Place::kFile: {
            const Writable writable = CheckAppending(f.folder, log, report);
            return CheckEntries(f.folder, log, writable == Writable::kNoRoom, report);
        }
    }
}

}  // namespace murl::doctor
