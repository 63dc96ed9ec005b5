#pragma once
// The rules every file-system port follows: which texts name a file, which failure each
// situation on disk gives, and how a text stream turns text into bytes. A port finds out what
// is on disk and does the writing; these decide what it means.

#include <cstdint>
#include <string_view>

#include "host/error.h"
#include "platform/file_system.h"

namespace murl::file_rules {

// What a path names on disk. A device is told apart where the port can name it as one.
enum class Kind { kMissing, kFile, kFolder, kDevice, kOther };

struct Entry {
    Kind kind = Kind::kMissing;
    bool read_only = false;  // of a file
};

// Empty text and embedded NULs name no file.
bool NamesAFile(std::u16string_view path) noexcept;

// Refuses a text that names no file (52).
void RequireName(std::u16string_view path);

// Anything but a regular file where one should be (75), naming the folder or device.
Error NotAFile(std::u16string_view path, Kind kind);

// A file that is not there: 53 when its folder exists, 76 when the folder is missing too or is
// a file, 75 when it is a device.
Error Missing(std::u16string_view folder, Kind folder_kind);

// A regular file to read, copy or set attributes of; `entry` was found, not missing.
void RequireFile(std::u16string_view path, const Entry& entry);

// Appending is the only mode OpenTextFile takes (5).
void RequireAppendMode(int32_t mode);

// A file to append to: a regular file that is not read-only.
void RequireAppendable(std::u16string_view path, const Entry& entry);

// A file may be replaced or created: not a folder or device, not read-only. Missing passes.
void RequireWritable(std::u16string_view path, const Entry& entry);

// The folder a copy goes into must exist.
void RequireCopyFolder(std::u16string_view folder, Kind kind);

// A copy may land on `target`: what RequireWritable allows, and an existing file only when
// `overwrite` is set (58).
void RequireCopyTarget(std::u16string_view target, const Entry& entry, bool overwrite);

// A text stream that appends bytes: single-byte text, CR LF line ends, nothing once closed.
// The port writes the bytes and closes.
class AppendingStream : public TextStream {
public:
    void WriteBlankLines(int32_t lines) final;
    void WriteLine(std::u16string_view text) final;

protected:
    virtual bool IsOpen() const noexcept = 0;
    // Adds `bytes` to what this stream wrote, or fails leaving the file as it was when the
    // stream was opened.
    virtual void Append(std::string_view bytes) = 0;

private:
    void RequireOpen() const;
};

}  // namespace murl::file_rules
