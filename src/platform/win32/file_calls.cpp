#include "platform/win32/file_calls.h"

namespace murl::win32 {

namespace {

const FileCalls kReal = {
    ::CreateFileW,      ::CloseHandle,   ::GetFileAttributesW,         ::SetFileAttributesW,
    ::GetFileType,      ::GetFileSizeEx, ::GetFileInformationByHandle, ::WriteFile,
    ::SetFilePointerEx, ::SetEndOfFile,  ::CreateDirectoryW,           ::CopyFileW,
    ::MoveFileExW,      ::DeleteFileW,
};
FileCalls current = kReal;

}  // namespace

FileCalls& Api() noexcept {
    return current;
}

const FileCalls& RealFileCalls() noexcept {
    return kReal;
}

}  // namespace murl::win32
