#pragma once
// An in-memory file system. Files hold the bytes written to them (Windows-1252, CR LF) and
// their attributes; folders exist only when added or created. A path's folder is the part
// before its last '\' or '/'; a path with neither lies in a folder that always exists.
// What the real ports share with it comes from file_rules, called as they call it: which texts
// name a file (52), a missing file or folder (53, 76), a folder where a file should be (75), a
// read-only or existing target (70, 58), the append mode (5); and its streams are
// AppendingStreams, so text becomes bytes and a failed write cuts back as on disk. It has no
// devices, no OS error codes and no waiting lock (below). Each operation can be told to fail
// through the FailPlan, by its FileCall (a planned stream failure comes before the call writes).
// A write that fails part-way, as on a full disk, comes from LimitAppends.
// A file has one spelling only: SameFile is true for two equal paths of an existing file.
// A file's lock refuses (70) at once where a real port would wait for as long as it lives: a
// second LockFile, or a stream opened on the file, while a held lock lives.
// The factory holds the state and must outlive every component and stream it hands out.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/fake/fail_plan.h"
#include "platform/file_rules.h"
#include "platform/file_system.h"

namespace murl {

enum class FileCall {
    Create,  // the component
    FileExists,
    FolderExists,
    CreateFolder,
    CreateTextFile,
    OpenTextFile,
    CopyFile,
    GetFile,
    SameFile,
    LockFile,
    WriteBlankLines,  // of a stream
    WriteLine,
    Close,
    SetAttributes,  // of a file object
};

class FakeFileSystem : public FileSystemFactory, public FailPlan<FileCall> {
public:
    std::unique_ptr<FileSystem> Create() override;

    // Set-up and inspection; none of these is counted or fails by plan.
    void AddFolder(std::u16string_view path);  // with every missing parent
    void AddFile(std::u16string_view path, std::string bytes = {}, int32_t attributes = 0);
    void RemoveFile(std::u16string_view path);
    void SetReadOnly(std::u16string_view path, bool read_only);
    bool HasFile(std::u16string_view path) const;
    bool HasFolder(std::u16string_view path) const;
    // The file's bytes; throws Error 53 when there is no such file.
    const std::string& Contents(std::u16string_view path) const;
    int32_t Attributes(std::u16string_view path) const;
    bool IsReadOnly(std::u16string_view path) const;
    // Streams may append `bytes` more bytes in all; the write that would pass that puts in what
    // fits and fails with 61, as on a full disk. No limit until this is called, or with nullopt.
    void LimitAppends(std::optional<size_t> bytes) { room_ = bytes; }

    // Components and streams handed out and not yet destroyed.
    int live_components() const noexcept { return live_components_; }
    int open_streams() const noexcept { return open_streams_; }
    // Locks taken with LockFile and not yet released.
    int held_locks() const noexcept { return static_cast<int>(locked_.size()); }

private:
    friend class FakeComponent;
    friend class FakeTextStream;
    friend class FakeFile;
    friend class FakeLock;

    struct Node {
        std::string bytes;
        int32_t attributes = 0;
    };
    Node& Existing(std::u16string_view path);  // throws 53 or 76
    // What `path` names; one that `must_exist` and is missing throws 53 or 76.
    file_rules::Entry Look(std::u16string_view path, bool must_exist = false) const;
    file_rules::Kind FolderKind(std::u16string_view path) const;  // of the folder `path` is in
    void RequireFolderOf(std::u16string_view path) const;         // throws 76

    std::map<std::u16string, Node, std::less<>> files_;
    std::set<std::u16string, std::less<>> folders_;
    std::optional<size_t> room_;                    // bytes streams may still append
    std::set<std::u16string, std::less<>> locked_;  // files whose lock is held
    int live_components_ = 0;
    int open_streams_ = 0;
};

}  // namespace murl
