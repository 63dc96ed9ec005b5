#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "host/error.h"
#include "platform/file_rules.h"
#include "platform/owned_handle.h"
#include "platform/posix/system_calls.h"
#include "text/text.h"

namespace murl {

namespace {

using file_rules::Entry;
using file_rules::Kind;
using posix::system_calls;

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr off_t kHeldLockMark = 0x7fff'ffff'ffff'fff0;  // the byte that marks a held lock

constexpr file_rules::OsErrorCodes kErrnoErrors[] = {
    {err::kPathNotFound, {ENOENT, ENOTDIR}},
    {err::kPermissionDenied, {EACCES, EPERM, EROFS, ETXTBSY}},
    {err::kFileAlreadyExists, {EEXIST}},
    {err::kBadFileName, {ENAMETOOLONG}},
    {err::kDiskFull, {ENOSPC, EDQUOT}},
    {err::kTooManyFiles, {EMFILE, ENFILE}},
    {err::kDeviceIoError, {EIO}},
    {err::kOutOfMemory, {ENOMEM}},
};

// The platform's error for a failed system call; one it has no number for says what it was.
Error OsError(int code) {
    const int32_t number =
        file_rules::NumberOfOsError(static_cast<unsigned long>(code), kErrnoErrors);
    if (number != 0) return Error(number);
    return Error(err::kPathFileAccessError,
                 std::u16string(StandardDescription(err::kPathFileAccessError)) + u": " +
                     ToUtf16(std::strerror(code)));
}

[[noreturn]] void ThrowOsError() {
    throw OsError(errno);
}

// A file, a folder or something else; the FIFOs, devices and sockets are refused alike.
struct Found {
    Entry entry;
    mode_t mode = 0;
    int error = 0;  // why it is missing
};

Found Look(const std::string& path) {
    struct stat info;
    if (system_calls->stat(path.c_str(), &info) != 0) return {{}, 0, errno};
    const Kind kind = S_ISREG(info.st_mode)   ? Kind::kFile
                      : S_ISDIR(info.st_mode) ? Kind::kFolder
                                              : Kind::kOther;
    return {{kind, (info.st_mode & kWriteBits) == 0}, info.st_mode, 0};
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

// What is at `path`, which must be there; a missing one gives 53 or 76.
Found Existing(const std::string& path) {
    const Found found = Look(path);
    if (found.entry.kind != Kind::kMissing) return found;
    if (found.error != ENOENT && found.error != ENOTDIR) throw OsError(found.error);
    const std::string folder = FolderOf(path);
    throw file_rules::Missing(ToUtf16(folder), Look(folder).entry.kind);
}

// An existing regular file.
Found ExistingFile(const std::string& path) {
    const Found found = Existing(path);
    file_rules::RequireFile(ToUtf16(path), found.entry);
    return found;
}

// The OS form of a path.
std::string OsPath(std::u16string_view path) {
    file_rules::RequireName(path);
    return ToUtf8(path);
}

// A descriptor whose close was interrupted is closed all the same. Streams lock the file with
// flock(2), which every open of it respects, also from other processes; on a file system that
// does not support locks, a stream writes without one.
struct DescriptorTraits {
    using Value = int;
    static int Empty() noexcept { return -1; }
    static bool Close(int fd) noexcept { return system_calls->close(fd) == 0 || errno == EINTR; }
    [[noreturn]] static void Fail() { ThrowOsError(); }
    static int64_t Length(int fd) {
        struct stat info;
        if (system_calls->fstat(fd, &info) != 0) ThrowOsError();
        return info.st_size;
    }
    static void WriteAll(int fd, std::string_view bytes);
    static bool TryLock(int fd) {
        for (;;) {
            if (system_calls->flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
            if (errno == EWOULDBLOCK) return false;
            if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return true;
            if (errno != EINTR) ThrowOsError();
        }
    }
    static void Unlock(int fd) noexcept { system_calls->flock(fd, LOCK_UN); }
    // The mark is a lock of its own kind on one byte far past any real file's end: open file
    // description locks, which flock(2) locks leave alone. A file system without them leaves
    // held locks unmarked.
    static void MarkHeldLock(int fd) noexcept { LockMark(fd, F_OFD_SETLK, F_RDLCK); }
    static void UnmarkHeldLock(int fd) noexcept { LockMark(fd, F_OFD_SETLK, F_UNLCK); }
    static bool HeldLockAtWork(int fd) noexcept {
        const auto mark = LockMark(fd, F_OFD_GETLK, F_WRLCK);
        return mark && mark->l_type != F_UNLCK;
    }
    static std::optional<struct flock> LockMark(int fd, int command, short type) noexcept {
        struct flock mark {};
        mark.l_type = type;
        mark.l_whence = SEEK_SET;
        mark.l_start = kHeldLockMark;
        mark.l_len = 1;
        while (system_calls->lock_range(fd, command, &mark) != 0) {
            if (errno != EINTR) return std::nullopt;
        }
        return mark;
    }
    static void Pause() noexcept {
        const timespec pause{0, 1'000'000};
        ::nanosleep(&pause, nullptr);
    }
};
using Descriptor = OwnedHandle<DescriptorTraits>;

// Opens a regular file. Never blocks: a FIFO without a reader, or one that takes the place of
// the file after it was checked, is refused rather than waited for.
Descriptor OpenFile(const std::string& path, int flags, mode_t mode = 0666) {
    int fd;
    do {
        fd = system_calls->open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENXIO) throw file_rules::NotAFile(ToUtf16(path), Kind::kOther);
        ThrowOsError();
    }
    Descriptor file(fd);
    struct stat info;
    if (system_calls->fstat(fd, &info) != 0) ThrowOsError();
    if (!S_ISREG(info.st_mode)) throw file_rules::NotAFile(ToUtf16(path), Kind::kOther);
    return file;
}

void DescriptorTraits::WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = system_calls->write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            ThrowOsError();
        }
        if (written == 0) throw OsError(ENOSPC);
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

// Appends to a file; a write that stops short counts as failed.
class PosixTextStream : public file_rules::HandleStream<DescriptorTraits> {
public:
    using HandleStream::HandleStream;

private:
    void SetLength(int64_t length) noexcept override {
        while (system_calls->ftruncate(handle(), length) != 0 && errno == EINTR) {
        }
    }
};

class PosixFile : public File {
public:
    explicit PosixFile(std::string path) : path_(std::move(path)) {}

    // Read-only takes every write bit away; clearing it gives the owner write access back.
    // The other attributes have no counterpart here.
    void SetAttributes(int32_t attributes) override {
        const Found file = ExistingFile(path_);
        mode_t mode = file.mode & 07777;
        mode = (attributes & kAttrReadOnly) ? (mode & ~kWriteBits)
                                            : (file.entry.read_only ? (mode | S_IWUSR) : mode);
        if (system_calls->chmod(path_.c_str(), mode) != 0) ThrowOsError();
    }

private:
    std::string path_;
};

// Copies `from` into a new file named after `to`; returns that file's name. The copy keeps
// `mode`; a failed copy leaves nothing behind.
std::string CopyToTemporary(const std::string& from, const std::string& to, mode_t mode) {
    Descriptor in = OpenFile(from, O_RDONLY);
    std::string temp = to + ".XXXXXX";
    Descriptor out(system_calls->mkostemp(temp.data(), O_CLOEXEC));
    if (!out.open()) ThrowOsError();
    try {
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t got = system_calls->read(in.get(), buffer, sizeof buffer);
            if (got < 0) {
                if (errno == EINTR) continue;
                ThrowOsError();
            }
            if (got == 0) break;
            DescriptorTraits::WriteAll(out.get(),
                                       std::string_view(buffer, static_cast<size_t>(got)));
        }
        if (system_calls->fchmod(out.get(), mode & 07777) != 0) ThrowOsError();
        out.Close();
    } catch (...) {
        system_calls->unlink(temp.c_str());
        throw;
    }
    return temp;
}

// Renames a finished copy over `to`; a failure removes the copy.
void MoveIntoPlace(const std::string& temp, const std::string& to) {
    if (system_calls->rename(temp.c_str(), to.c_str()) == 0) return;
    const int code = errno;
    system_calls->unlink(temp.c_str());
    throw OsError(code);
}

class PosixFileSystem : public FileSystem {
public:
    bool FileExists(std::u16string_view path) override {
        return file_rules::NamesAFile(path) && Look(ToUtf8(path)).entry.kind == Kind::kFile;
    }

    bool FolderExists(std::u16string_view path) override {
        return file_rules::NamesAFile(path) && Look(ToUtf8(path)).entry.kind == Kind::kFolder;
    }

    void CreateFolder(std::u16string_view path) override {
        if (system_calls->mkdir(OsPath(path).c_str(), 0777) != 0) ThrowOsError();
    }

    void CreateTextFile(std::u16string_view path, bool overwrite) override {
        const std::string os_path = OsPath(path);
        file_rules::RequireTarget(path, Look(os_path).entry, overwrite);
        OpenFile(os_path, O_WRONLY | O_CREAT | (overwrite ? O_TRUNC : 0)).Close();
    }

    std::unique_ptr<TextStream> OpenTextFile(std::u16string_view path, int32_t mode) override {
        const std::string os_path = OsPath(path);
        file_rules::RequireAppendMode(mode);
        file_rules::RequireAppendable(path, Existing(os_path).entry);
        return std::make_unique<PosixTextStream>(OpenFile(os_path, O_WRONLY | O_APPEND));
    }

    // Copies into a temporary file beside the target and renames it into place, so that the
    // target is either the old file or the complete copy. The copy keeps the source's
    // permission bits.
    void CopyFile(std::u16string_view source, std::u16string_view target, bool overwrite) override {
        const std::string from = OsPath(source);
        const std::string to = OsPath(target);
        const Found original = ExistingFile(from);
        const std::string folder = FolderOf(to);
        file_rules::RequireCopyFolder(ToUtf16(folder), Look(folder).entry.kind);
        file_rules::RequireTarget(target, Look(to).entry, overwrite);

        MoveIntoPlace(CopyToTemporary(from, to, original.mode), to);
    }

    // GetFile and LockFile are alike by design in every port: the port's path, the check that
    // the file exists, then the port's own file or lock.
    std::unique_ptr<File> GetFile(std::u16string_view path) override {
        std::string os_path = OsPath(path);
        ExistingFile(os_path);
        return std::make_unique<PosixFile>(std::move(os_path));
    }

    // flock(2) needs no write access, so a read-only log locks as well.
    std::unique_ptr<FileLock> LockFile(std::u16string_view path) override {
        const std::string os_path = OsPath(path);
        ExistingFile(os_path);
        return std::make_unique<file_rules::HandleLock<DescriptorTraits>>(
            OpenFile(os_path, O_RDONLY));
    }

    bool SameFile(std::u16string_view first, std::u16string_view second) override {
        struct stat a, b;
        return system_calls->stat(OsPath(first).c_str(), &a) == 0 &&
               system_calls->stat(OsPath(second).c_str(), &b) == 0 && a.st_dev == b.st_dev &&
               a.st_ino == b.st_ino;
    }
};

}  // namespace

std::unique_ptr<FileSystem> PosixFileSystemFactory::Create() {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace murl
