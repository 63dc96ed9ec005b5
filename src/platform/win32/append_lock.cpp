#include "platform/win32/windows_headers.h"

#include "platform/win32/append_lock.h"

#include "platform/win32/system_calls.h"

namespace murl::win32::append_lock {

namespace {

OVERLAPPED LockedByte() noexcept {
    OVERLAPPED at{};
    at.Offset = 0;
    at.OffsetHigh = 0x7fffffff;
    return at;
}

OVERLAPPED MarkByte() noexcept {
    OVERLAPPED at = LockedByte();
    at.Offset = 1;
    return at;
}

bool HeldElsewhere(DWORD error) noexcept {
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
}

}  // namespace

Try TryTake(HANDLE file) noexcept {
    OVERLAPPED at = LockedByte();
    if (system_calls->LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                                 &at)) {
        return Try::kTaken;
    }
    const DWORD error = GetLastError();
    if (HeldElsewhere(error)) return Try::kHeld;
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return Try::kTaken;
    return Try::kFailed;
}

void Release(HANDLE file) noexcept {
    OVERLAPPED at = LockedByte();
    system_calls->UnlockFileEx(file, 0, 1, 0, &at);
}

void Mark(HANDLE file) noexcept {
    OVERLAPPED at = MarkByte();
    system_calls->LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                             &at);
}

void Unmark(HANDLE file) noexcept {
    OVERLAPPED at = MarkByte();
    system_calls->UnlockFileEx(file, 0, 1, 0, &at);
}

// Whether the mark can be had shows whether another handle has it.
bool MarkedElsewhere(HANDLE file) noexcept {
    OVERLAPPED at = MarkByte();
    if (system_calls->LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        system_calls->UnlockFileEx(file, 0, 1, 0, &at);
        return false;
    }
    return HeldElsewhere(GetLastError());
}

}  // namespace murl::win32::append_lock
