#pragma once
// The file-system port: the operations of the platform's file-system component that the log
// uses. Text files are single-byte Windows-1252 with CR LF line breaks on every platform.
// Every operation fails with an Error carrying the platform's number and description
// (53 file not found, 70 permission denied, 76 path not found, ...).

#include <cstdint>
#include <memory>
#include <string_view>

namespace murl {

inline constexpr int32_t kForAppending = 8;  // OpenTextFile mode
inline constexpr int32_t kAttrReadOnly = 1;  // file attribute bits
inline constexpr int32_t kAttrArchive = 32;

class TextStream {
public:
    virtual ~TextStream() = default;  // closes the file if still open
    virtual void WriteBlankLines(int32_t lines) = 0;
    virtual void WriteLine(std::u16string_view text) = 0;
    virtual void Close() = 0;
};

class File {
public:
    virtual ~File() = default;
    virtual void SetAttributes(int32_t attributes) = 0;
};

// The lock that every stream on a file holds from opening to closing, held on its own until
// destroyed: other streams and locks on the file, this process's too, wait for it as long as it
// lives, where one held by a stream is given up on after a while.
class FileLock {
public:
    virtual ~FileLock() = default;
};

// One instance of the file-system component.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool FileExists(std::u16string_view path) = 0;
    virtual bool FolderExists(std::u16string_view path) = 0;
    virtual void CreateFolder(std::u16string_view path) = 0;
    // Creates an empty file. An existing one is replaced when `overwrite` is set; otherwise one
    // found is refused with 58, and one that appears after that look (another program created
    // it) is left as it is. A read-only file refuses with 70.
    virtual void CreateTextFile(std::u16string_view path, bool overwrite) = 0;
    // Opens an existing file; `mode` is kForAppending (the only mode the log uses).
    virtual std::unique_ptr<TextStream> OpenTextFile(std::u16string_view path, int32_t mode) = 0;
    // Copies `source` to `target`; a read-only target refuses with 70. A failed copy never
    // leaves a half-written target.
    virtual void CopyFile(std::u16string_view source, std::u16string_view target,
                          bool overwrite) = 0;
    virtual std::unique_ptr<File> GetFile(std::u16string_view path) = 0;
    // Takes the lock of an existing file, waiting for another holder as a stream does (70 when
    // a stream keeps it). While it is held, this component may copy the file and replace it,
    // however long that takes.
    virtual std::unique_ptr<FileLock> LockFile(std::u16string_view path) = 0;
    // True when both paths name one existing file, however each is spelt (links included).
    // A text that names no file refuses with 52.
    virtual bool SameFile(std::u16string_view first, std::u16string_view second) = 0;
};

// Creates the file-system component; the log makes a fresh one for every call.
class FileSystemFactory {
public:
    virtual ~FileSystemFactory() = default;
    virtual std::unique_ptr<FileSystem> Create() = 0;
};

}  // namespace murl
