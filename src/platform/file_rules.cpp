#include "platform/file_rules.h"

#include <algorithm>
#include <string>

#include "text/cp1252.h"

namespace murl::file_rules {

bool NamesAFile(std::u16string_view path) noexcept {
    return !path.empty() && path.find(u'\0') == std::u16string_view::npos;
}

void RequireName(std::u16string_view path) {
    if (!NamesAFile(path)) throw Error(err::kBadFileName);
}

Error NotAFile(std::u16string_view path, Kind kind) {
    if (kind != Kind::kFolder && kind != Kind::kDevice) return Error(err::kPathFileAccessError);
    std::u16string description(StandardDescription(err::kPathFileAccessError));
    description += u": \"";
    description += path;
    description += kind == Kind::kFolder ? u"\" is a folder" : u"\" is a device";
    return Error(err::kPathFileAccessError, std::move(description));
}

Error Missing(std::u16string_view folder, Kind folder_kind) {
    if (folder_kind == Kind::kDevice) return NotAFile(folder, folder_kind);
    return Error(folder_kind == Kind::kFolder ? err::kFileNotFound : err::kPathNotFound);
}

void RequireFile(std::u16string_view path, const Entry& entry) {
    if (entry.kind != Kind::kFile) throw NotAFile(path, entry.kind);
}

void RequireAppendMode(int32_t mode) {
    if (mode != kForAppending) throw Error(err::kInvalidCall);
}

void RequireAppendable(std::u16string_view path, const Entry& entry) {
    RequireFile(path, entry);
    if (entry.read_only) throw Error(err::kPermissionDenied);
}

void RequireWritable(std::u16string_view path, const Entry& entry) {
    if (entry.kind == Kind::kMissing) return;
    RequireFile(path, entry);
    if (entry.read_only) throw Error(err::kPermissionDenied);
}

void RequireCopyFolder(std::u16string_view folder, Kind kind) {
    if (kind == Kind::kDevice) throw NotAFile(folder, kind);
    if (kind != Kind::kFolder) throw Error(err::kPathNotFound);
}

void RequireTarget(std::u16string_view target, const Entry& entry, bool overwrite) {
    if (entry.kind == Kind::kFile && !overwrite) throw Error(err::kFileAlreadyExists);
    RequireWritable(target, entry);
}

int32_t NumberOfOsError(unsigned long code, std::span<const OsErrorCodes> table) noexcept {
    for (const OsErrorCodes& row : table) {
        for (const unsigned long known : row.codes) {
            if (known != 0 && known == code) return row.number;
        }
    }
    return 0;
}

void AppendingStream::WriteBlankLines(int32_t lines) {
    RequireOpen();
    if (lines < 0) throw Error(err::kInvalidCall);
    std::string chunk;
    for (int32_t i = std::min(lines, kBlankLinesPerWrite); i > 0; --i) chunk += "\r\n";
    for (int32_t left = lines; left > 0; left -= kBlankLinesPerWrite) {
        Append(std::string_view(chunk).substr(
            0, 2 * static_cast<size_t>(std::min(left, kBlankLinesPerWrite))));
    }
}

void AppendingStream::WriteLine(std::u16string_view text) {
    RequireOpen();
    Append(ToCp1252(text) + "\r\n");
}

void AppendingStream::Append(std::string_view bytes) {
    try {
        Write(bytes);
    } catch (...) {
        SetLength(LengthAtOpening());
        throw;
    }
}

void AppendingStream::RequireOpen() const {
    if (!IsOpen()) throw Error(err::kInvalidCall);
}

}  // namespace murl::file_rules
