#include "platform/win32/windows_headers.h"

#include "platform/win32/system_calls.h"

namespace murl::win32 {

namespace {

// Called through the import cell, never taken by address: murl.dll defines its own cell for
// CloseHandle, and the address would bring in the import library's, which clashes with it.
BOOL WINAPI CloseHandleCall(HANDLE handle) {
    return ::CloseHandle(handle);
}

}  // namespace

CallTable<SystemCalls> system_calls({
    ::CreateFileW,
    CloseHandleCall,
    ::GetFileAttributesW,
    ::SetFileAttributesW,
    ::GetFileType,
    ::GetFileSizeEx,
    ::GetFileInformationByHandle,
    ::WriteFile,
    ::SetFilePointerEx,
    ::SetEndOfFile,
    ::CreateDirectoryW,
    ::CopyFileW,
    ::MoveFileExW,
    ::DeleteFileW,
    ::LockFileEx,
    ::UnlockFileEx,
    ::SetFileInformationByHandle,
    ::RemoveDirectoryW,
});

}  // namespace murl::win32
