#pragma once
// The Win32 calls of the file-system port, reached through one table so that tests can make
// any of them fail, stop short or race with another program. Product code never changes the
// table.

#include "platform/win32/windows_headers.h"

namespace murl::win32 {

struct FileCalls {
    decltype(&::CreateFileW) CreateFileW;
    decltype(&::CloseHandle) CloseHandle;
    decltype(&::GetFileAttributesW) GetFileAttributesW;
    decltype(&::SetFileAttributesW) SetFileAttributesW;
    decltype(&::GetFileType) GetFileType;
    decltype(&::GetFileSizeEx) GetFileSizeEx;
    decltype(&::GetFileInformationByHandle) GetFileInformationByHandle;
    decltype(&::WriteFile) WriteFile;
    decltype(&::SetFilePointerEx) SetFilePointerEx;
    decltype(&::SetEndOfFile) SetEndOfFile;
    decltype(&::CreateDirectoryW) CreateDirectoryW;
    decltype(&::CopyFileW) CopyFileW;
    decltype(&::MoveFileExW) MoveFileExW;
    decltype(&::DeleteFileW) DeleteFileW;
    decltype(&::LockFileEx) LockFileEx;
    decltype(&::UnlockFileEx) UnlockFileEx;
    decltype(&::SetFileInformationByHandle) SetFileInformationByHandle;
    decltype(&::RemoveDirectoryW) RemoveDirectoryW;
};

// The table in use; starts out as the real calls.
FileCalls& Api() noexcept;

// The real calls, for a test's stand-in to pass on to.
const FileCalls& RealFileCalls() noexcept;

}  // namespace murl::win32
