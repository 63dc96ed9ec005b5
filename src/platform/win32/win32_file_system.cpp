#include "platform/win32/win32_file_system.h"

#include "platform/win32/windows_headers.h"

#include <algorithm>
#include <string>

#include "host/error.h"
#include "platform/cp1252.h"
#include "platform/win32/win32_text.h"

namespace murl {

namespace {

using win32::WidePath;

constexpr int32_t kFileAlreadyExists = 58;
constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

Error AlreadyExists() {
    return Error(kFileAlreadyExists, u"File already exists");
}

// The platform's error for a failed API call.
Error OsError(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return Error(err::kFileNotFound);
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return Error(err::kPathNotFound);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return Error(err::kPermissionDenied);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return AlreadyExists();
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return Error(52, u"Bad file name or number");
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return Error(61, u"Disk full");
        case ERROR_TOO_MANY_OPEN_FILES:
            return Error(67, u"Too many files");
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return Error(err::kOutOfMemory);
        default:
            return Error(75, u"Path/File access error");
    }
}

[[noreturn]] void ThrowLastError() {
    throw OsError(GetLastError());
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return L".";
    if (cut == 0 || (cut == 2 && path[1] == L':')) return path.substr(0, cut + 1);
    return path.substr(0, cut);
}

DWORD Attributes(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

bool IsFolder(DWORD attributes) {
    return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(DWORD attributes) {
    return attributes != kNoAttributes && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Attributes of an existing file; 53, or 76 when its folder is missing too.
DWORD ExistingFile(const std::wstring& path) {
    const DWORD attributes = Attributes(path);
    if (attributes == kNoAttributes) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            throw Error(IsFolder(Attributes(FolderOf(path))) ? err::kFileNotFound
                                                             : err::kPathNotFound);
        }
        throw OsError(code);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw Error(err::kFileNotFound);
    return attributes;
}

// Refuses to replace or append to a read-only file; a missing one passes.
void RequireWritable(const std::wstring& path) {
    const DWORD attributes = Attributes(path);
    if (attributes == kNoAttributes) return;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw AlreadyExists();
    if (attributes & FILE_ATTRIBUTE_READONLY) throw Error(err::kPermissionDenied);
}

class Handle {
public:
    explicit Handle(HANDLE handle) noexcept : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (open()) CloseHandle(handle_);
    }
    HANDLE get() const noexcept { return handle_; }
    bool open() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    void Close() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        if (!CloseHandle(handle)) ThrowLastError();
    }

private:
    HANDLE handle_;
};

HANDLE OpenForWriting(const std::wstring& path, DWORD access, DWORD disposition) {
    HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) ThrowLastError();
    return handle;
}

void WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) ThrowLastError();
        bytes.remove_prefix(written);
    }
}

class Win32TextStream : public TextStream {
public:
    explicit Win32TextStream(HANDLE handle) : handle_(handle) {}

    void WriteBlankLines(int32_t lines) override {
        RequireOpen();
        if (lines < 0) throw Error(err::kInvalidCall);
        std::string breaks;
        for (int32_t i = 0; i < lines; ++i) breaks += "\r\n";
        WriteAll(handle_.get(), breaks);
    }

    void WriteLine(std::u16string_view text) override {
        RequireOpen();
        WriteAll(handle_.get(), ToCp1252(text) + "\r\n");
    }

    void Close() override {
        if (handle_.open()) handle_.Close();
    }

private:
    void RequireOpen() const {
        if (!handle_.open()) throw Error(err::kInvalidCall);
    }

    Handle handle_;
};

class Win32File : public File {
public:
    explicit Win32File(std::wstring path) : path_(std::move(path)) {}

    void SetAttributes(int32_t attributes) override {
        ExistingFile(path_);
        DWORD bits = static_cast<DWORD>(attributes) & kSettableAttributes;
        if (bits == 0) bits = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileAttributesW(path_.c_str(), bits)) ThrowLastError();
    }

private:
    std::wstring path_;
};

// The identity of an existing file or folder: its volume's serial number and its index on that
// volume, the same for every spelling and every hard link of it. False when it cannot be opened.
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    Handle handle(CreateFileW(path.c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.open() && GetFileInformationByHandle(handle.get(), &info);
}

bool SameFileOnDisk(const std::wstring& first, const std::wstring& second) {
    BY_HANDLE_FILE_INFORMATION a, b;
    return FileIdentity(first, a) && FileIdentity(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

class Win32FileSystem : public FileSystem {
public:
    bool FileExists(std::u16string_view path) override {
        if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
        return IsFile(Attributes(win32::Wide(path)));
    }

    bool FolderExists(std::u16string_view path) override {
        if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
        return IsFolder(Attributes(win32::Wide(path)));
    }

    void CreateFolder(std::u16string_view path) override {
        if (!CreateDirectoryW(WidePath(path).c_str(), nullptr)) ThrowLastError();
    }

    void CreateTextFile(std::u16string_view path) override {
        const std::wstring wide = WidePath(path);
        RequireWritable(wide);
        Handle(OpenForWriting(wide, GENERIC_WRITE, CREATE_ALWAYS)).Close();
    }

    std::unique_ptr<TextStream> OpenTextFile(std::u16string_view path, int32_t mode) override {
        const std::wstring wide = WidePath(path);
        if (mode != kForAppending) throw Error(err::kInvalidCall);
        if (ExistingFile(wide) & FILE_ATTRIBUTE_READONLY) throw Error(err::kPermissionDenied);
        return std::make_unique<Win32TextStream>(
            OpenForWriting(wide, FILE_APPEND_DATA, OPEN_EXISTING));
    }

    // Copies into a temporary file beside the target and moves it into place, so that the
    // target is either the old file or the complete copy.
    void CopyFile(std::u16string_view source, std::u16string_view target, bool overwrite) override {
        const std::wstring from = WidePath(source);
        const std::wstring to = WidePath(target);
        ExistingFile(from);
        const std::wstring folder = FolderOf(to);
        if (!IsFolder(Attributes(folder))) throw Error(err::kPathNotFound);
        const DWORD existing = Attributes(to);
        if (existing != kNoAttributes) {
            if ((existing & FILE_ATTRIBUTE_DIRECTORY) || !overwrite) throw AlreadyExists();
            if (existing & FILE_ATTRIBUTE_READONLY) throw Error(err::kPermissionDenied);
        }

        wchar_t temp[MAX_PATH + 1];
        if (!GetTempFileNameW(folder.c_str(), L"mrl", 0, temp)) ThrowLastError();
        if (!CopyFileW(from.c_str(), temp, FALSE) ||
            !MoveFileExW(temp, to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            const DWORD code = GetLastError();
            SetFileAttributesW(temp, FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(temp);
            throw OsError(code);
        }
    }

    std::unique_ptr<File> GetFile(std::u16string_view path) override {
        std::wstring wide = WidePath(path);
        ExistingFile(wide);
        return std::make_unique<Win32File>(std::move(wide));
    }

    bool SameFile(std::u16string_view first, std::u16string_view second) override {
        return SameFileOnDisk(WidePath(first), WidePath(second));
    }
};

}  // namespace

std::unique_ptr<FileSystem> Win32FileSystemFactory::Create() {
    return std::make_unique<Win32FileSystem>();
}

}  // namespace murl
