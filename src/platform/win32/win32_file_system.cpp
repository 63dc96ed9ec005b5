#include "platform/win32/windows_headers.h"

#include "platform/win32/win32_file_system.h"

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <string>

#include "host/error.h"
#include "platform/file_rules.h"
#include "platform/owned_handle.h"
#include "platform/win32/append_lock.h"
#include "platform/win32/system_calls.h"
#include "platform/win32/win32_text.h"

namespace murl {

namespace {

using file_rules::Entry;
using file_rules::Kind;
using win32::system_calls;
using win32::Utf16;
using win32::WideDecimal;

constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

constexpr file_rules::OsErrorCodes kApiErrors[] = {
    {err::kFileNotFound, {ERROR_FILE_NOT_FOUND}},
    {err::kPathNotFound, {ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH}},
    {err::kPermissionDenied,
     {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_WRITE_PROTECT}},
    {err::kFileAlreadyExists, {ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS}},
    {err::kBadFileName, {ERROR_INVALID_NAME, ERROR_BAD_PATHNAME, ERROR_FILENAME_EXCED_RANGE}},
    {err::kDiskFull, {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL}},
    {err::kTooManyFiles, {ERROR_TOO_MANY_OPEN_FILES}},
    {err::kOutOfMemory, {ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY}},
};

// The platform's error for a failed API call.
Error OsError(DWORD code) {
    const int32_t number = file_rules::NumberOfOsError(code, kApiErrors);
    return Error(number != 0 ? number : err::kPathFileAccessError);
}

[[noreturn]] void ThrowLastError() {
    throw OsError(GetLastError());
}

// A wide path for the API; a text that names no file refuses (52).
std::wstring WidePath(std::u16string_view path) {
    file_rules::RequireName(path);
    return win32::Wide(path);
}

// Paths past the classic limit reach the API in the "\\?\" form, which has none. That form
// takes a path as it stands, so it is made full first.
constexpr size_t kClassicLimit = MAX_PATH - 12;  // room for an 8.3 name, as folders need

bool StartsWith(const std::wstring& text, std::wstring_view start) {
    return text.compare(0, start.size(), start) == 0;
}

std::wstring ApiPath(const std::wstring& path) {
    if (path.size() < kClassicLimit || StartsWith(path, L"\\\\?\\") ||
        StartsWith(path, L"\\\\.\\")) {
        return path;
    }
    std::wstring full(path.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return path;
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return path;
}

using win32::FolderOf;

// The classic device names (CON, NUL, COM1 ...) name the device in every folder and with any
// extension.
bool HasDeviceName(const std::wstring& path) {
    const size_t start = path.find_last_of(L"\\/:") + 1;  // npos + 1 == 0
    std::wstring name = path.substr(start, path.find_first_of(L".:", start) - start);
    while (!name.empty() && name.back() == L' ') name.pop_back();
    for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL" || name == L"CONIN$" ||
        name == L"CONOUT$") {
        return true;
    }
    return name.size() == 4 && (StartsWith(name, L"COM") || StartsWith(name, L"LPT")) &&
           name[3] >= L'1' && name[3] <= L'9';
}

struct HandleTraits {
    using Value = HANDLE;
    static HANDLE Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(HANDLE handle) noexcept { return system_calls->CloseHandle(handle) != 0; }
    [[noreturn]] static void Fail() { ThrowLastError(); }
    static int64_t Length(HANDLE handle) {
        LARGE_INTEGER size;
        if (!system_calls->GetFileSizeEx(handle, &size)) ThrowLastError();
        return size.QuadPart;
    }
    static void WriteAll(HANDLE handle, std::string_view bytes);
    static bool TryLock(HANDLE handle);
    static void Unlock(HANDLE handle) noexcept;
    static void MarkHeldLock(HANDLE handle) noexcept;
    static void UnmarkHeldLock(HANDLE handle) noexcept;
    static bool HeldLockAtWork(HANDLE handle) noexcept;
    static void Pause() noexcept { Sleep(1); }
};
using Handle = OwnedHandle<HandleTraits>;

struct Found {
    Entry entry;
    DWORD error;  // why it is missing
};

// What `path` names. A device answers an open like a file, so it is told by its name or by
// the kind of handle it gives.
Found Look(const std::wstring& path) {
    if (HasDeviceName(path)) return {{Kind::kDevice}, 0};
    const std::wstring api = ApiPath(path);
    const DWORD attributes = system_calls->GetFileAttributesW(api.c_str());
    if (attributes != kNoAttributes) {
        const Kind kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::kFolder : Kind::kFile;
        return {{kind, (attributes & FILE_ATTRIBUTE_READONLY) != 0}, 0};
    }
    const DWORD error = GetLastError();
    if (StartsWith(path, L"\\\\.\\")) {
        const Handle handle(system_calls->CreateFileW(api.c_str(), 0, kShareAll, nullptr,
                                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                      nullptr));
        if (handle.open() && system_calls->GetFileType(handle.get()) != FILE_TYPE_DISK) {
            return {{Kind::kDevice}, 0};
        }
    }
    return {{Kind::kMissing}, error};
}

// The failure for a missing `path` whose folder was looked at: 53 in an existing folder, 76
// when the folder is missing too (or is a file), 75 when it is a device.
[[noreturn]] void ThrowMissing(const std::wstring& path, DWORD error) {
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND &&
        error != ERROR_BAD_DEV_TYPE) {
        throw OsError(error);
    }
    const std::wstring folder = FolderOf(path);
    throw file_rules::Missing(Utf16(folder), Look(folder).entry.kind);
}

// What is at `path`, which must be there.
Entry Existing(const std::wstring& path) {
    const Found found = Look(path);
    if (found.entry.kind == Kind::kMissing) ThrowMissing(path, found.error);
    return found.entry;
}

// An existing regular file; anything else refuses.
void ExistingFile(const std::wstring& path) {
    file_rules::RequireFile(Utf16(path), Existing(path));
}

// On a file system that does not support locks, a stream writes without one.
bool HandleTraits::TryLock(HANDLE handle) {
    switch (win32::append_lock::TryTake(handle)) {
        case win32::append_lock::Try::kTaken:
            return true;
        case win32::append_lock::Try::kHeld:
            return false;
        case win32::append_lock::Try::kFailed:
            break;
    }
    ThrowLastError();
}

void HandleTraits::Unlock(HANDLE handle) noexcept {
    win32::append_lock::Release(handle);
}

void HandleTraits::MarkHeldLock(HANDLE handle) noexcept {
    win32::append_lock::Mark(handle);
}

void HandleTraits::UnmarkHeldLock(HANDLE handle) noexcept {
    win32::append_lock::Unmark(handle);
}

bool HandleTraits::HeldLockAtWork(HANDLE handle) noexcept {
    return win32::append_lock::MarkedElsewhere(handle);
}

Handle OpenForWriting(const std::wstring& path, DWORD access, DWORD disposition) {
    Handle handle(system_calls->CreateFileW(ApiPath(path).c_str(), access,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            disposition, FILE_ATTRIBUTE_ARCHIVE, nullptr));
    if (!handle.open()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            ThrowMissing(path, error);
        }
        throw OsError(error);
    }
    return handle;
}

// Writes everything or fails; a write that makes no progress is a full disk.
void HandleTraits::WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
        DWORD written = 0;
        if (!system_calls->WriteFile(handle, bytes.data(), chunk, &written, nullptr))
            ThrowLastError();
        if (written == 0) throw OsError(ERROR_DISK_FULL);
        bytes.remove_prefix(written);
    }
}

// An open file for appending.
class Win32TextStream : public file_rules::HandleStream<HandleTraits> {
public:
    Win32TextStream(Handle handle, std::wstring path)
        : HandleStream(std::move(handle)), path_(std::move(path)) {}

private:
    // Appending cannot truncate; a second handle can.
    void SetLength(int64_t length) noexcept override {
        Handle file(system_calls->CreateFileW(ApiPath(path_).c_str(), GENERIC_WRITE, kShareAll,
                                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                              nullptr));
        if (!file.open()) return;
        LARGE_INTEGER at;
        at.QuadPart = length;
        if (system_calls->SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) {
            system_calls->SetEndOfFile(file.get());
        }
    }

    std::wstring path_;
};

class Win32File : public File {
public:
    explicit Win32File(std::wstring path) : path_(std::move(path)) {}

    void SetAttributes(int32_t attributes) override {
        ExistingFile(path_);
        DWORD bits = static_cast<DWORD>(attributes) & kSettableAttributes;
        if (bits == 0) bits = FILE_ATTRIBUTE_NORMAL;
        if (!system_calls->SetFileAttributesW(ApiPath(path_).c_str(), bits)) ThrowLastError();
    }

private:
    std::wstring path_;
};

// A new empty file of a name of our own in `folder`, for a copy to be moved into place.
std::wstring NewTemporaryFile(const std::wstring& folder) {
    static std::atomic<unsigned> serial{0};
    const std::wstring stem = folder + (folder.back() == L'\\' ? L"" : L"\\") + L"~murl" +
                              WideDecimal(GetCurrentProcessId()) + L'-';
    for (int attempt = 0;; ++attempt) {
        std::wstring name = stem + WideDecimal(serial++) + L".tmp";
        HANDLE handle = system_calls->CreateFileW(ApiPath(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                                  CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            Handle(handle).Close();
            return name;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
            throw OsError(error);
        }
    }
}

// The identity of an existing file or folder: its volume's serial number and its index on that
// volume, the same for every spelling and every hard link of it. False when it cannot be opened.
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    Handle handle(system_calls->CreateFileW(
        ApiPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return handle.open() && system_calls->GetFileInformationByHandle(handle.get(), &info);
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
        return file_rules::NamesAFile(path) && Look(win32::Wide(path)).entry.kind == Kind::kFile;
    }

    bool FolderExists(std::u16string_view path) override {
        return file_rules::NamesAFile(path) && Look(win32::Wide(path)).entry.kind == Kind::kFolder;
    }

    void CreateFolder(std::u16string_view path) override {
        if (!system_calls->CreateDirectoryW(ApiPath(WidePath(path)).c_str(), nullptr))
            ThrowLastError();
    }

    void CreateTextFile(std::u16string_view path, bool overwrite) override {
        const std::wstring wide = WidePath(path);
        file_rules::RequireTarget(path, Look(wide).entry, overwrite);
        OpenForWriting(wide, GENERIC_WRITE, overwrite ? CREATE_ALWAYS : OPEN_ALWAYS).Close();
    }

    std::unique_ptr<TextStream> OpenTextFile(std::u16string_view path, int32_t mode) override {
        std::wstring wide = WidePath(path);
        file_rules::RequireAppendMode(mode);
        file_rules::RequireAppendable(path, Existing(wide));
        // Reading rights as well, which locking needs.
        Handle handle = OpenForWriting(
            wide, FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES, OPEN_EXISTING);
        return std::make_unique<Win32TextStream>(std::move(handle), std::move(wide));
    }

    // Copies into a temporary file beside the target and moves it into place, so that the
    // target is either the old file or the complete copy.
    void CopyFile(std::u16string_view source, std::u16string_view target, bool overwrite) override {
        const std::wstring from = WidePath(source);
        const std::wstring to = WidePath(target);
        ExistingFile(from);
        const std::wstring folder = FolderOf(to);
        file_rules::RequireCopyFolder(Utf16(folder), Look(folder).entry.kind);
        file_rules::RequireTarget(target, Look(to).entry, overwrite);

        const std::wstring temp = ApiPath(NewTemporaryFile(folder));
        if (!system_calls->CopyFileW(ApiPath(from).c_str(), temp.c_str(), FALSE) ||
            !system_calls->MoveFileExW(temp.c_str(), ApiPath(to).c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            const DWORD code = GetLastError();
            system_calls->SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
            system_calls->DeleteFileW(temp.c_str());
            throw OsError(code);
        }
    }

    // GetFile and LockFile are alike by design in every port: the port's path, the check that
    // the file exists, then the port's own file or lock.
    std::unique_ptr<File> GetFile(std::u16string_view path) override {
        std::wstring wide = WidePath(path);
        ExistingFile(wide);
        return std::make_unique<Win32File>(std::move(wide));
    }

    // Opened as a stream's file is, with reading rights only, which locking needs.
    std::unique_ptr<FileLock> LockFile(std::u16string_view path) override {
        const std::wstring wide = WidePath(path);
        ExistingFile(wide);
        return std::make_unique<file_rules::HandleLock<HandleTraits>>(
            OpenForWriting(wide, FILE_READ_DATA | FILE_READ_ATTRIBUTES, OPEN_EXISTING));
    }

    bool SameFile(std::u16string_view first, std::u16string_view second) override {
        return SameFileOnDisk(WidePath(first), WidePath(second));
    }
};

}  // namespace

std::unique_ptr<FileSystem> Win32FileSystemFactory::Create() {
    return std::make_unique<Win32FileSystem>();
}

namespace win32 {

std::wstring FolderOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return L".";
    if (cut == 0 || (cut == 2 && path[1] == L':')) return path.substr(0, cut + 1);
    if (cut == 6 && StartsWith(path, L"\\\\?\\") && path[5] == L':') return path.substr(0, 7);
    return path.substr(0, cut);
}

}  // namespace win32

}  // namespace murl
