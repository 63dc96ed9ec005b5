#include "platform/fake/fake_file_system.h"

#include "platform/cp1252.h"
#include "platform/file_rules.h"

namespace murl {

namespace {

constexpr int32_t kSettableAttributes = kAttrReadOnly | 2 | 4 | kAttrArchive;

std::u16string_view FolderOf(std::u16string_view path) {
    const size_t cut = path.find_last_of(u"\\/");
    return cut == std::u16string_view::npos ? std::u16string_view() : path.substr(0, cut);
}

using file_rules::RequireName;

}  // namespace

class FakeTextStream : public TextStream {
public:
    FakeTextStream(FakeFileSystem& fs, std::u16string path) : fs_(fs), path_(std::move(path)) {
        ++fs_.open_streams_;
    }
    ~FakeTextStream() override {
        if (open_) --fs_.open_streams_;
    }

    void WriteBlankLines(int32_t lines) override {
        fs_.Check("WriteBlankLines");
        RequireOpen();
        if (lines < 0) throw Error(err::kInvalidCall);
        for (int32_t i = 0; i < lines; ++i) Append("\r\n");
    }
    void WriteLine(std::u16string_view text) override {
        fs_.Check("WriteLine");
        RequireOpen();
        Append(ToCp1252(text) + "\r\n");
    }
    void Close() override {
        fs_.Check("Close");
        if (open_) --fs_.open_streams_;
        open_ = false;
    }

private:
    void RequireOpen() const {
        if (!open_) throw Error(err::kInvalidCall);
    }
    // Bytes written after the file was removed are lost, as with an unlinked file.
    void Append(std::string_view bytes) {
        auto file = fs_.files_.find(path_);
        if (file != fs_.files_.end()) file->second.bytes += bytes;
    }

    FakeFileSystem& fs_;
    std::u16string path_;
    bool open_ = true;
};

class FakeFile : public File {
public:
    FakeFile(FakeFileSystem& fs, std::u16string path) : fs_(fs), path_(std::move(path)) {}

    void SetAttributes(int32_t attributes) override {
        fs_.Check("SetAttributes");
        fs_.Existing(path_).attributes = attributes & kSettableAttributes;
    }

private:
    FakeFileSystem& fs_;
    std::u16string path_;
};

class FakeComponent : public FileSystem {
public:
    explicit FakeComponent(FakeFileSystem& fs) : fs_(fs) { ++fs_.live_components_; }
    ~FakeComponent() override { --fs_.live_components_; }

    bool FileExists(std::u16string_view path) override {
        fs_.Check("FileExists");
        return fs_.HasFile(path);
    }
    bool FolderExists(std::u16string_view path) override {
        fs_.Check("FolderExists");
        return fs_.HasFolder(path);
    }
    void CreateFolder(std::u16string_view path) override {
        fs_.Check("CreateFolder");
        RequireName(path);
        if (fs_.HasFolder(path) || fs_.HasFile(path)) {
            throw Error(err::kFileAlreadyExists);
        }
        fs_.RequireFolderOf(path);
        fs_.folders_.emplace(path);
    }
    void CreateTextFile(std::u16string_view path) override {
        fs_.Check("CreateTextFile");
        RequireName(path);
        fs_.RequireFolderOf(path);
        if (fs_.HasFolder(path)) throw file_rules::NotAFile(path, file_rules::Kind::kFolder);
        if (fs_.IsReadOnly(path)) throw Error(err::kPermissionDenied);
        fs_.files_[std::u16string(path)] = {};
    }
    std::unique_ptr<TextStream> OpenTextFile(std::u16string_view path, int32_t mode) override {
        fs_.Check("OpenTextFile");
        RequireName(path);
        if (mode != kForAppending) throw Error(err::kInvalidCall);
        if (fs_.Existing(path).attributes & kAttrReadOnly) throw Error(err::kPermissionDenied);
        return std::make_unique<FakeTextStream>(fs_, std::u16string(path));
    }
    void CopyFile(std::u16string_view source, std::u16string_view target, bool overwrite) override {
        fs_.Check("CopyFile");
        RequireName(source);
        RequireName(target);
        const FakeFileSystem::Node copy = fs_.Existing(source);
        fs_.RequireFolderOf(target);
        if (fs_.HasFolder(target)) throw file_rules::NotAFile(target, file_rules::Kind::kFolder);
        if (fs_.HasFile(target) && !overwrite) throw Error(err::kFileAlreadyExists);
        if (fs_.IsReadOnly(target)) throw Error(err::kPermissionDenied);
        fs_.files_[std::u16string(target)] = copy;
    }
    std::unique_ptr<File> GetFile(std::u16string_view path) override {
        fs_.Check("GetFile");
        RequireName(path);
        fs_.Existing(path);
        return std::make_unique<FakeFile>(fs_, std::u16string(path));
    }
    bool SameFile(std::u16string_view first, std::u16string_view second) override {
        fs_.Check("SameFile");
        return first == second && fs_.HasFile(first);
    }

private:
    FakeFileSystem& fs_;
};

std::unique_ptr<FileSystem> FakeFileSystem::Create() {
    Check("Create");
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

bool FakeFileSystem::FolderOfExists(std::u16string_view path) const {
    const std::u16string_view folder = FolderOf(path);
    return folder.empty() || HasFolder(folder);
}

void FakeFileSystem::RequireFolderOf(std::u16string_view path) const {
    if (!FolderOfExists(path)) throw Error(err::kPathNotFound);
}

}  // namespace murl
