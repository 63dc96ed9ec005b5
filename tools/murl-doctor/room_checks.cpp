// Room on the drives Murl writes to: a full drive loses every entry Murl writes there, and
// nothing tells the player so. The error log's row uses RoomFor; the trace's room is a row of
// its own.

#include "checks.h"

#include <array>

#include "platform/win32/trace_file.h"

namespace murl::doctor {

namespace {

namespace trace = win32::trace;

// Murl's trace files on their drive at most: the file and the older one, each up to its cap.
constexpr unsigned long long kTraceRoom = 2ull * trace::kFileCap;

// What the trace's files hold now: the room they take already counts toward kTraceRoom.
unsigned long long TraceHeld() {
    unsigned long long held = 0;
    for (const wchar_t* name : std::array{trace::kFileName, trace::kOlderFileName}) {
        wchar_t path[MAX_PATH];
        if (trace::PathOf(name, path)) held += FileSize(path).value_or(0);
    }
    return std::min(held, kTraceRoom);
}

bool SameDrive(const Room& a, const Room& b) {
    return !a.drive.empty() &&
           CompareStringOrdinal(a.drive.c_str(), -1, b.drive.c_str(), -1, TRUE) == CSTR_EQUAL;
}

void AddRoom(Report& report, Status status, std::string found, std::string action = {}) {
    report.Add({"trace.space", status, std::move(found), std::move(action), {}});
}

}  // namespace

Room RoomFor(const std::wstring& folder) {
    std::wstring existing = folder;
    while (!FolderExists(existing) && FolderOf(existing) != existing) existing = FolderOf(existing);
    Room room;
    wchar_t root[MAX_PATH + 1];
    room.drive = GetVolumePathNameW(existing.c_str(), root, MAX_PATH + 1) ? root : existing;
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(existing.c_str(), &free, nullptr, nullptr)) {
        room.error = GetLastError();
        return room;
    }
    room.free = free.QuadPart;
    return room;
}

std::string DriveName(const Room& room) {
    const bool root = room.drive.size() == 3 && room.drive[1] == L':';
    return (root ? "drive " : "the drive mounted at ") + Utf8(room.drive);
}

std::string LessRoomThan(const Room& room, unsigned long long needed) {
    return "only " + SizeText(room.free) + " free on " + DriveName(room) + ", less than the " +
           SizeText(needed);
}

void CheckTraceRoom(const Findings& f, Report& report) {
    wchar_t folder[MAX_PATH];
    if (trace::ReadSwitch() != trace::Switch::kOn) {
        return AddRoom(report, Status::kOk, "the trace is off: it writes nothing");
    }
    if (!trace::PathOf(nullptr, folder)) {
        return AddRoom(report, Status::kSkipped, "this account has no folder for the trace");
    }
    const unsigned long long needed = kTraceRoom - TraceHeld();
    const Room room = RoomFor(folder);
    if (room.error != 0) {
        return AddRoom(report, Status::kSkipped,
                       "cannot tell: " + SystemText(room.error, room.drive));
    }
    if (room.free >= needed) {
        return AddRoom(report, Status::kOk, SizeText(room.free) + " free on " + DriveName(room));
    }
    const Room log = RoomFor(f.folder);
    if (f.installed && SameDrive(room, log) && log.error == 0 && log.free < kLogRoom) {
        return AddRoom(report, Status::kNote,
                       DriveName(room) +
                           " is the error log's, whose row above says to free room on it; free " +
                           SizeText(needed) + " for the trace as well");
    }
    AddRoom(report, Status::kProblem,
            LessRoomThan(room, needed) + " that the trace in " + Utf8(folder) +
                " needs to grow to its two files of " + SizeText(trace::kFileCap) +
                ", so the lines that do not fit are lost",
            "free at least " + SizeText(needed) + " on " + DriveName(room) +
                " (delete files you no longer need, empty the Recycle Bin), then start the game "
                "again.");
}

}  // namespace murl::doctor
