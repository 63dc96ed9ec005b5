#pragma once
// The Win32 calls of the file-system port and the trace file, reached through one table so
// that tests can make any of them fail, stop short or race with another program.

#include "platform/win32/windows_headers.h"

#include "platform/call_table.h"

namespace murl::win32 {

struct SystemCalls {
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

extern CallTable<SystemCalls> system_calls;

}  // namespace murl::win32
