#pragma once
// clsLog: appends one entry per Output call to a text file, optionally stamped with severity and
// date-time, behind a severity ceiling; switches itself off when a write fails. ArchiveLog copies
// the file to a dated read-only archive and starts it afresh.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"
#include "platform/platform.h"

namespace murl {

class clsLog {
public:
    explicit clsLog(const Platform& platform) noexcept;

    // Appends one entry. On a failed write: Active goes false and Output throws Error
    // -2147213504, source "Log::Output", with the underlying failure's description.
    void Output(std::u16string_view Text, int16_t Severity);
    void ArchiveLog(std::u16string_view ArchFilePathName);

    const std::u16string& File() const noexcept { return file_; }
    void File(std::u16string_view FileName);  // also switches logging on
    HostBool Active() const noexcept { return active_; }
    void Active(HostBool vData) noexcept { active_ = vData; }
    HostBool LogDateTime() const noexcept { return log_date_time_; }
    void LogDateTime(HostBool vData) noexcept { log_date_time_ = vData; }
    HostBool LogSeverity() const noexcept { return log_severity_; }
    void LogSeverity(HostBool vData) noexcept { log_severity_ = vData; }
    int32_t BlankLines() const noexcept { return blank_lines_; }
    void BlankLines(int32_t vData) noexcept { blank_lines_ = vData; }
    int16_t SeverityLevel() const noexcept { return severity_level_; }
    void SeverityLevel(int16_t intLevel) noexcept { severity_level_ = intLevel; }

private:
    // Creates the log when it is missing. Another client may create it between the look and
    // the creation; its file, and whatever it has written, is kept.
    void CreateIfMissing(FileSystem& fs) const;

    Platform platform_;
    std::u16string file_;
    HostBool active_ = kHostFalse;
    int16_t severity_level_ = 0;
    HostBool log_date_time_ = kHostFalse;
    HostBool log_severity_ = kHostFalse;
    int32_t blank_lines_ = 0;
};

}  // namespace murl
