#include "log/cls_log.h"

#include <memory>

#include "host/error.h"
#include "text/text.h"

namespace murl {

namespace {
constexpr int16_t kShowEveryEntry = 9;  // the ceiling that also pops every entry up
}  // namespace

clsLog::clsLog(const Platform& platform) noexcept : platform_(platform) {}

void clsLog::File(std::u16string_view FileName) {
    file_ = FileName;
    active_ = kHostTrue;
}

void clsLog::Output(std::u16string_view Text, int16_t Severity) {
    if (!active_) return;
    try {
        // The component and the stream live for this one entry only.
        std::unique_ptr<FileSystem> fs = platform_.files.Create();

        std::u16string entry(Text);
        if (log_date_time_) entry = FormatDateTime(platform_.clock.Now()) + u'\t' + entry;
        if (log_severity_) entry = DecimalText(Severity) + u'\t' + entry;

        if (severity_level_ == kShowEveryEntry) {
            platform_.message_box.Show(entry, kMessageBoxInformation, u"Log");
        }
        if (Severity > severity_level_) return;

        CreateIfMissing(*fs);
        std::unique_ptr<TextStream> stream = fs->OpenTextFile(file_, kForAppending);
        stream->WriteBlankLines(blank_lines_);
        stream->WriteLine(entry);
        stream->Close();
    } catch (const std::exception& e) {
        active_ = kHostFalse;
        throw Error(err::kLogOutput, DescribeException(e), u"Log::Output");
    } catch (...) {
        active_ = kHostFalse;
        throw Error(err::kLogOutput, u"Unexpected failure", u"Log::Output");
    }
}

void clsLog::CreateIfMissing(FileSystem& fs) const {
    if (fs.FileExists(file_)) return;
    try {
        fs.CreateTextFile(file_, false);
    } catch (const Error& e) {
        if (e.number() != err::kFileAlreadyExists) throw;
    }
}

}  // namespace murl
