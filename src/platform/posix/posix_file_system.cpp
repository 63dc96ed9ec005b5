#include "platform/posix/posix_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/error.h"
#include "host/text.h"
#include "platform/cp1252.h"
#include "platform/posix/system_calls.h"

namespace murl {

namespace {

constexpr int32_t kBadFileName = 52;
constexpr int32_t kDeviceIoError = 57;
constexpr int32_t kFileAlreadyExists = 58;
constexpr int32_t kDiskFull = 61;
constexpr int32_t kTooManyFiles = 67;
constexpr int32_t kPathFileAccessError = 75;
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

Error AlreadyExists() {
    return Error(kFileAlreadyExists, u"File already exists");
}

// A FIFO, a device or a socket where a file should be.
Error NotAFile() {
    return Error(kPathFileAccessError, u"Path/File access error");
}

// The platform's error for a failed system call.
Error OsError(int code) {
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return Error(err::kPathNotFound);
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
            return Error(err::kPermissionDenied);
        case EEXIST:
            return AlreadyExists();
        case ENAMETOOLONG:
            return Error(kBadFileName, u"Bad file name or number");
        case ENOSPC:
        case EDQUOT:
            return Error(kDiskFull, u"Disk full");
        case EMFILE:
        case ENFILE:
            return Error(kTooManyFiles, u"Too many files");
        case EIO:
            return Error(kDeviceIoError, u"Device I/O error");
        case ENOMEM:
            return Error(err::kOutOfMemory);
        default:
            return Error(kPathFileAccessError,
                         u"Path/File access error: " + ToUtf16(std::strerror(code)));
    }
}

[[noreturn]] void ThrowOsError() {
    throw OsError(errno);
}

// The OS form of a path. Empty text and embedded NULs name no file.
std::string OsPath(std::u16string_view path) {
    if (path.empty() || path.find(u'\0') != std::u16string_view::npos) {
        throw Error(kBadFileName, u"Bad file name or number");
    }
    return ToUtf8(path);
}

std::string FolderOf(const std::string& path) {
    const size_t cut = path.find_last_of('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

bool Stat(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0;
}

bool IsFile(const std::string& path) {
    struct stat info;
    return Stat(path, info) && S_ISREG(info.st_mode);
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return Stat(path, info) && S_ISDIR(info.st_mode);
}

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & kWriteBits) == 0;
}

// A file that is not there: 76 when its folder is missing too, 53 otherwise.
[[noreturn]] void ThrowMissing(const std::string& path) {
    throw Error(IsFolder(FolderOf(path)) ? err::kFileNotFound : err::kPathNotFound);
}

// Stat of an existing regular file; throws 53 or 76 when there is none.
struct stat ExistingFile(const std::string& path) {
    struct stat info;
    if (!Stat(path, info)) {
        if (errno == ENOENT || errno == ENOTDIR) ThrowMissing(path);
        ThrowOsError();
    }
    if (!S_ISREG(info.st_mode)) throw Error(err::kFileNotFound);
    return info;
}

// Refuses to replace or append to a read-only file, or to anything that is not a file; a
// missing one passes.
void RequireWritable(const std::string& path) {
    struct stat info;
    if (Stat(path, info)) {
        if (S_ISDIR(info.st_mode)) throw AlreadyExists();
        if (!S_ISREG(info.st_mode)) throw NotAFile();
        if (IsReadOnly(info)) throw Error(err::kPermissionDenied);
    }
}

void CloseQuietly(int fd) noexcept {
    Sys().close(fd);
}

// Opens a regular file. Never blocks: a FIFO without a reader, or one that takes the place of
// the file after it was checked, is refused rather than waited for.
int OpenFile(const std::string& path, int flags, mode_t mode = 0666) {
    int fd;
    do {
        fd = Sys().open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENXIO) throw NotAFile();
        ThrowOsError();
    }
    struct stat info;
    if (Sys().fstat(fd, &info) != 0) {
        const int code = errno;
        CloseQuietly(fd);
        throw OsError(code);
    }
    if (!S_ISREG(info.st_mode)) {
        CloseQuietly(fd);
        throw NotAFile();
    }
    return fd;
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = Sys().write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            ThrowOsError();
        }
        if (written == 0) throw OsError(ENOSPC);
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

// Owns a descriptor; closes it quietly unless Close() reported the outcome already.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) CloseQuietly(fd_);
    }
    int get() const noexcept { return fd_; }
    bool open() const noexcept { return fd_ >= 0; }
    void Close() {
        const int fd = fd_;
        fd_ = -1;
        if (Sys().close(fd) != 0 && errno != EINTR) ThrowOsError();
    }

private:
    int fd_;
};

// Appends to a file. What one stream writes reaches the file whole or not at all: a write that
// fails, or stops short, cuts the file back to the length it had when the stream was opened.
class PosixTextStream : public TextStream {
public:
    explicit PosixTextStream(int fd) : fd_(fd) {
        struct stat info;
        if (Sys().fstat(fd_.get(), &info) != 0) ThrowOsError();
        length_before_ = info.st_size;
    }

    void WriteBlankLines(int32_t lines) override {
        RequireOpen();
        if (lines < 0) throw Error(err::kInvalidCall);
        static constexpr std::string_view kChunk =
            "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";
        constexpr int32_t kPerChunk = static_cast<int32_t>(kChunk.size() / 2);
        for (int32_t left = lines; left > 0; left -= kPerChunk) {
            const auto now = static_cast<size_t>(std::min(left, kPerChunk));
            Append(kChunk.substr(0, 2 * now));
        }
    }

    void WriteLine(std::u16string_view text) override {
        RequireOpen();
        Append(ToCp1252(text) + "\r\n");
    }

    void Close() override {
        if (fd_.open()) fd_.Close();
    }

private:
    void RequireOpen() const {
        if (!fd_.open()) throw Error(err::kInvalidCall);
    }

    // The failure is reported even when the file cannot be cut back.
    void Append(std::string_view bytes) {
        try {
            WriteAll(fd_.get(), bytes);
        } catch (...) {
            while (Sys().ftruncate(fd_.get(), length_before_) != 0 && errno == EINTR) {
            }
            throw;
        }
    }

    Descriptor fd_;
    off_t length_before_ = 0;
};

class PosixFile : public File {
public:
    explicit PosixFile(std::string path) : path_(std::move(path)) {}

    // Read-only takes every write bit away; clearing it gives the owner write access back.
    // The other attributes have no counterpart here.
    void SetAttributes(int32_t attributes) override {
        const struct stat info = ExistingFile(path_);
        mode_t mode = info.st_mode & 07777;
        mode = (attributes & kAttrReadOnly) ? (mode & ~kWriteBits)
                                            : (IsReadOnly(info) ? (mode | S_IWUSR) : mode);
        if (::chmod(path_.c_str(), mode) != 0) ThrowOsError();
    }

private:
    std::string path_;
};

class PosixFileSystem : public FileSystem {
public:
    bool FileExists(std::u16string_view path) override {
        if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
        return IsFile(ToUtf8(path));
    }

    bool FolderExists(std::u16string_view path) override {
        if (path.empty() || path.find(u'\0') != std::u16string_view::npos) return false;
        return IsFolder(ToUtf8(path));
    }

    void CreateFolder(std::u16string_view path) override {
        const std::string os_path = OsPath(path);
        if (::mkdir(os_path.c_str(), 0777) != 0) ThrowOsError();
    }

    void CreateTextFile(std::u16string_view path) override {
        const std::string os_path = OsPath(path);
        RequireWritable(os_path);
        Descriptor fd(OpenFile(os_path, O_WRONLY | O_CREAT | O_TRUNC));
        fd.Close();
    }

    std::unique_ptr<TextStream> OpenTextFile(std::u16string_view path, int32_t mode) override {
        const std::string os_path = OsPath(path);
        if (mode != kForAppending) throw Error(err::kInvalidCall);
        if (IsReadOnly(ExistingFile(os_path))) throw Error(err::kPermissionDenied);
        return std::make_unique<PosixTextStream>(OpenFile(os_path, O_WRONLY | O_APPEND));
    }

    // Copies into a temporary file beside the target and renames it into place, so that the
    // target is either the old file or the complete copy. The copy keeps the source's
    // permission bits.
    void CopyFile(std::u16string_view source, std::u16string_view target, bool overwrite) override {
        const std::string from = OsPath(source);
        const std::string to = OsPath(target);
        const struct stat source_info = ExistingFile(from);
        const std::string folder = FolderOf(to);
        if (!IsFolder(folder)) throw Error(err::kPathNotFound);
        struct stat target_info;
        if (Stat(to, target_info)) {
            if (S_ISDIR(target_info.st_mode) || !overwrite) throw AlreadyExists();
            if (IsReadOnly(target_info)) throw Error(err::kPermissionDenied);
        }

        Descriptor in(OpenFile(from, O_RDONLY));
        std::string temp = to + ".XXXXXX";
        Descriptor out(::mkostemp(temp.data(), O_CLOEXEC));
        if (!out.open()) ThrowOsError();
        try {
            char buffer[64 * 1024];
            for (;;) {
                const ssize_t got = ::read(in.get(), buffer, sizeof buffer);
                if (got < 0) {
                    if (errno == EINTR) continue;
                    ThrowOsError();
                }
                if (got == 0) break;
                WriteAll(out.get(), std::string_view(buffer, static_cast<size_t>(got)));
            }
            if (::fchmod(out.get(), source_info.st_mode & 07777) != 0) ThrowOsError();
            out.Close();
            if (::rename(temp.c_str(), to.c_str()) != 0) ThrowOsError();
        } catch (...) {
            ::unlink(temp.c_str());
            throw;
        }
    }

    std::unique_ptr<File> GetFile(std::u16string_view path) override {
        std::string os_path = OsPath(path);
        ExistingFile(os_path);
        return std::make_unique<PosixFile>(std::move(os_path));
    }

    bool SameFile(std::u16string_view first, std::u16string_view second) override {
        struct stat a, b;
        return Stat(OsPath(first), a) && Stat(OsPath(second), b) && a.st_dev == b.st_dev &&
               a.st_ino == b.st_ino;
    }
};

}  // namespace

std::unique_ptr<FileSystem> PosixFileSystemFactory::Create() {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace murl
