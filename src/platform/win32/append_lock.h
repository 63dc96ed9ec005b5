#pragma once
// The lock that appenders to one file take in turn, across processes: the error log's streams
// and the trace alike. Wine does not append atomically across processes, so what must stay
// whole is written under it. It is one byte far past any real file's end: Windows locks keep
// other handles from reading and writing what they cover, and this lock is to keep other
// appenders out only. The calls go through the Win32 call table. Nothing here allocates.

#include "platform/win32/windows_headers.h"

namespace murl::win32::append_lock {

enum class Try {
    kTaken,   // also where the file system has no locks: then appenders write without one
    kHeld,    // by another handle on the file
    kFailed,  // GetLastError() says why
};
// Takes the lock at once when it can. The handle needs reading or writing rights.
Try TryTake(HANDLE file) noexcept;
void Release(HANDLE file) noexcept;

// A lock held for longer (an archive copying the file) is marked, so that those waiting for
// it wait as long as it lives: a lock on the byte after the one appenders lock.
void Mark(HANDLE file) noexcept;
void Unmark(HANDLE file) noexcept;
// Whether another handle on the file has the mark.
bool MarkedElsewhere(HANDLE file) noexcept;

}  // namespace murl::win32::append_lock
