#include "platform/fake/fake_file_system.h"

#include <algorithm>

#include "platform/file_rules.h"
#include "text/cp1252.h"

namespace murl {

namespace {

constexpr int32_t kSettableAttributes = kAttrReadOnly | 2 | 4 | kAttrArchive;

std::u16string_view FolderOf(std::u16string_view path) {
    const size_t cut = path.find_last_of(u"\\/");
    return cut == std::u16string_view::npos ? std::u16string_view() : path.substr(0, cut);
}

using file_rules::RequireName;

}  // namespace

// A planned failure of WriteBlankLines or WriteLine comes before the call writes anything.
class FakeTextStream : public file_rules::AppendingStream {
public:
    FakeTextStream(FakeFileSystem& fs, std::u16string path)
        : fs_(fs),
          path_(std::move(path)),
          length_at_opening_(static_cast<int64_t>(fs_.files_.at(path_).bytes.size())) {
        ++fs_.open_streams_;
    }
    ~FakeTextStream() override {
        if (open_) --fs_.open_streams_;
    }

    void WriteBlankLines(int32_t lines) override {
        fs_.CountOrFail(FileCall::WriteBlankLines);
        AppendingStream::WriteBlankLines(lines);
    }
    void WriteLine(std::u16string_view text) override {
        fs_.CountOrFail(FileCall::WriteLine);
        AppendingStream::WriteLine(text);
    }
    void Close() override {
        fs_.CountOrFail(FileCall::Close);
        if (open_) --fs_.open_streams_;
        open_ = false;
    }

private:
    bool IsOpen() const noexcept override { return open_; }
    // Bytes written after the file was removed are lost, as with an unlinked file.
    void Write(std::string_view bytes) override {
        const size_t fits = std::min(bytes.size(), fs_.room_.value_or(bytes.size()));
        auto file = fs_.files_.find(path_);
        if (file != fs_.files_.end()) file->second.bytes += bytes.substr(0, fits);
        if (fs_.room_) *fs_.room_ -= fits;
        if (fits < bytes.size()) throw Error(err::kDiskFull);
    }
    int64_t LengthAtOpening() const noexcept override { return length_at_opening_; }
    void SetLength(int64_t length) noexcept override {
        auto file = fs_.files_.find(path_);
        if (file != fs_.files_.end()) file->second.bytes.resize(static_cast<size_t>(length));
    }

    FakeFileSystem& fs_;
    std::u16string path_;
    int64_t length_at_opening_;
    bool open_ = true;
};

class FakeFile : public File {
public:
    FakeFile(FakeFileSystem& fs, std::u16string path) : fs_(fs), path_(std::move(path)) {}

    void SetAttributes(int32_t attributes) override {
        fs_.CountOrFail(FileCall::SetAttributes);
        file_rules::RequireFile(path_, fs_.Look(path_, true));
        fs_.files_.at(path_).attributes = attributes & kSettableAttributes;
    }

private:
    FakeFileSystem& fs_;
    std::u16string path_;
};

class FakeLock : public FileLock {
public:
    FakeLock(FakeFileSystem& fs, std::u16string path) : fs_(fs), path_(std::move(path)) {
        if (!fs_.locked_.insert(path_).second) throw Error(err::kPermissionDenied);
    }
    ~FakeLock() override { fs_.locked_.erase(path_); }
    FakeLock(const FakeLock&) = delete;
    FakeLock& operator=(const FakeLock&) = delete;

private:
    FakeFileSystem& fs_;
    std::u16string path_;
};

class FakeComponent : public FileSystem {
public:
    explicit FakeComponent(FakeFileSystem& fs) : fs_(fs) { ++fs_.live_components_; }
    ~FakeComponent() override { --fs_.live_components_; }

    bool FileExists(std::u16string_view path) override {
        fs_.CountOrFail(FileCall::FileExists);
        return fs_.HasFile(path);
    }
    bool FolderExists(std::u16string_view path) override {
        fs_.CountOrFail(FileCall::FolderExists);
        return fs_.HasFolder(path);
    }
    void CreateFolder(std::u16string_view path) override {
        fs_.CountOrFail(FileCall::CreateFolder);
        RequireName(path);
        if (fs_.HasFolder(path) || fs_.HasFile(path)) {
            throw Error(err::kFileAlreadyExists);
        }
        fs_.RequireFolderOf(path);
        fs_.folders_.emplace(path);
    }
    void CreateTextFile(std::u16string_view path, bool overwrite) override {
        fs_.CountOrFail(FileCall::CreateTextFile);
        RequireName(path);
        file_rules::RequireTarget(path, fs_.Look(path), overwrite);
        fs_.RequireFolderOf(path);
        fs_.files_[std::u16string(path)] = {};
    }
    std::unique_ptr<TextStream> OpenTextFile(std::u16string_view path, int32_t mode) override {
        fs_.CountOrFail(FileCall::OpenTextFile);
        RequireName(path);
        file_rules::RequireAppendMode(mode);
        file_rules::RequireAppendable(path, fs_.Look(path, true));
        if (fs_.locked_.contains(path)) throw Error(err::kPermissionDenied);
        return std::make_unique<FakeTextStream>(fs_, std::u16string(path));
    }
    void CopyFile(std::u16string_view source, std::u16string_view target, bool overwrite) override {
        fs_.CountOrFail(FileCall::CopyFile);
        RequireName(source);
        RequireName(target);
        file_rules::RequireFile(source, fs_.Look(source, true));
        file_rules::RequireCopyFolder(FolderOf(target), fs_.FolderKind(target));
        file_rules::RequireTarget(target, fs_.Look(target), overwrite);
        const FakeFileSystem::Node copy = fs_.files_.find(source)->second;
        fs_.files_[std::u16string(target)] = copy;
    }
    std::unique_ptr<File> GetFile(std::u16string_view path) override {
        fs_.CountOrFail(FileCall::GetFile);
        RequireName(path);
        file_rules::RequireFile(path, fs_.Look(path, true));
        return std::make_unique<FakeFile>(fs_, std::u16string(path));
    }
    std::unique_ptr<FileLock> LockFile(std::u16string_view path) override {
        fs_.CountOrFail(FileCall::LockFile);
        RequireName(path);
        file_rules::RequireFile(path, fs_.Look(path, true));
        return std::make_unique<FakeLock>(fs_, std::u16string(path));
    }
    bool SameFile(std::u16string_view first, std::u16string_view second) override {
        fs_.CountOrFail(FileCall::SameFile);
        RequireName(first);
        RequireName(second);
        return first == second && fs_.HasFile(first);
    }

private:
    FakeFileSystem& fs_;
};

std::unique_ptr<FileSystem> FakeFileSystem::Create() {
    CountOrFail(FileCall::Create);
    return std::make_unique<FakeComponent>(*this);
}

void FakeFileSystem::AddFolder(std::u16string_view path) {
    for (std::u16string_view folder = path; !folder.empty(); folder = FolderOf(folder)) {
        folders_.emplace(folder);
    }
}

void FakeFileSystem::AddFile(std::u16string_view path, std::string bytes, int32_t attributes) {
    AddFolder(FolderOf(path));
    files_[std::u16string(path)] = {std::move(bytes), attributes};
}

void FakeFileSystem::RemoveFile(std::u16string_view path) {
    auto file = files_.find(path);
    if (file != files_.end()) files_.erase(file);
}

void FakeFileSystem::SetReadOnly(std::u16string_view path, bool read_only) {
    Node& node = Existing(path);
    node.attributes =
        read_only ? (node.attributes | kAttrReadOnly) : (node.attributes & ~kAttrReadOnly);
}

bool FakeFileSystem::HasFile(std::u16string_view path) const {
    return files_.contains(path);
}

bool FakeFileSystem::HasFolder(std::u16string_view path) const {
    return folders_.contains(path);
}

const std::string& FakeFileSystem::Contents(std::u16string_view path) const {
    auto file = files_.find(path);
    if (file == files_.end()) throw Error(err::kFileNotFound);
    return file->second.bytes;
}

int32_t FakeFileSystem::Attributes(std::u16string_view path) const {
    auto file = files_.find(path);
    if (file == files_.end()) throw Error(err::kFileNotFound);
    return file->second.attributes;
}

bool FakeFileSystem::IsReadOnly(std::u16string_view path) const {
    auto file = files_.find(path);
    return file != files_.end() && (file->second.attributes & kAttrReadOnly);
}

FakeFileSystem::Node& FakeFileSystem::Existing(std::u16string_view path) {
    auto file = files_.find(path);
    if (file != files_.end()) return file->second;
    RequireFolderOf(path);
    throw Error(err::kFileNotFound);
}

file_rules::Entry FakeFileSystem::Look(std::u16string_view path, bool must_exist) const {
    using file_rules::Kind;
    if (auto file = files_.find(path); file != files_.end()) {
        return {Kind::kFile, (file->second.attributes & kAttrReadOnly) != 0};
    }
    if (HasFolder(path)) return {Kind::kFolder};
    if (must_exist) throw file_rules::Missing(FolderOf(path), FolderKind(path));
    return {};
}

file_rules::Kind FakeFileSystem::FolderKind(std::u16string_view path) const {
    const std::u16string_view folder = FolderOf(path);
    if (folder.empty() || HasFolder(folder)) return file_rules::Kind::kFolder;
    return HasFile(folder) ? file_rules::Kind::kFile : file_rules::Kind::kMissing;
}

void FakeFileSystem::RequireFolderOf(std::u16string_view path) const {
    if (FolderKind(path) != file_rules::Kind::kFolder) throw Error(err::kPathNotFound);
}

}  // namespace murl
