#include "log_summary.h"

#include <algorithm>

#include "text/readable_text.h"
#include "text/cp1252.h"
#include "text/text.h"
#include "report.h"

namespace murl::doctor {

namespace {

// An entry's time is the text before its first tab, when the tab comes this soon.
constexpr size_t kTimeUnits = 40;
// Bytes of a line kept: its time, its tab and one unit more than is shown, so that a cut
// failure is shown cut.
constexpr size_t kKeptBytes = kTimeUnits + 1 + kShownUnits + 1;
// The shortest run of zero bytes taken for a stretch; a shorter one is shown in its line.
constexpr uint64_t kStretchBytes = 16;
constexpr size_t kListedStretches = 3;
// Different failures followed at once.
constexpr size_t kFollowedFailures = 256;

}  // namespace

void LogSummary::Read(std::string_view bytes) {
    constexpr std::string_view kLineEndOrZero("\n\0", 2);
    size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == '\0') {
            const size_t end = std::min(bytes.find_first_not_of('\0', i), bytes.size());
            if (zeros_ == 0) zeros_at_ = offset_ + i;
            zeros_ += end - i;
            i = end;
            continue;
        }
        SettleZeros();
        const size_t end = std::min(bytes.find_first_of(kLineEndOrZero, i), bytes.size());
        AddToLine(bytes.substr(i, end - i));
        i = end;
        if (i < bytes.size() && bytes[i] == '\n') {
            EndLine();
            ++i;
        }
    }
    offset_ += bytes.size();
}

void LogSummary::End() {
    SettleZeros();
    EndLine();
}

void LogSummary::AddToLine(std::string_view bytes) {
    if (line_.size() < kKeptBytes) line_.append(bytes.substr(0, kKeptBytes - line_.size()));
    line_length_ += bytes.size();
}

void LogSummary::SettleZeros() {
    if (zeros_ == 0) return;
    if (zeros_ < kStretchBytes) {
        AddToLine(std::string(zeros_, '\0'));
    } else {
        EndLine();
        if (stretches_.size() < kListedStretches) stretches_.push_back({zeros_at_, zeros_});
        ++stretch_count_;
        stretch_bytes_ += zeros_;
        entries_after_stretch_ = 0;
    }
    zeros_ = 0;
}

void LogSummary::EndLine() {
    if (line_length_ == line_.size() && !line_.empty() && line_.back() == '\r') line_.pop_back();
    if (!line_.empty()) AddEntry(line_);
    line_.clear();
    line_length_ = 0;
}

void LogSummary::AddEntry(std::string_view bytes) {
    std::u16string text = FromCp1252(bytes);
    const size_t tab = text.find(u'\t');
    const bool timed = tab <= kTimeUnits;  // npos, no tab at all, never is
    const std::u16string_view failure =
        timed ? std::u16string_view(text).substr(tab + 1) : std::u16string_view(text);
    const std::string time = timed ? ReadableName(std::u16string_view(text).substr(0, tab)) : "";

    if (Seen* seen = Follow(ReadableText(failure, kShownUnits))) {
        if (seen->count == 0) seen->first = time;
        ++seen->count;
        seen->last = time;
    }
    ++entries_;
    if (stretch_count_ > 0) ++entries_after_stretch_;

    if (timed) text[tab] = u' ';
    last_.push_back(ReadableText(text, kShownUnits));
    if (last_.size() > kept_) last_.pop_front();
}

LogSummary::Seen* LogSummary::Follow(const std::string& failure) {
    const auto found = failures_.find(failure);
    if (found != failures_.end()) return &found->second;
    if (failures_.size() >= kFollowedFailures) {
        if (!following_) return nullptr;
        // Make room by forgetting the failures seen once; a sweep that frees little is the last.
        std::erase_if(failures_, [](const auto& entry) { return entry.second.count == 1; });
        following_ = kFollowedFailures - failures_.size() >= kFollowedFailures / 4;
        if (failures_.size() >= kFollowedFailures) return nullptr;
    }
    Seen& seen = failures_[failure];
    seen.order = ++order_;
    return &seen;
}

Recurring LogSummary::MostFrequent() const {
    const std::pair<const std::string, Seen>* most = nullptr;
    for (const auto& entry : failures_) {
        const Seen& seen = entry.second;
        if (!most || seen.count > most->second.count ||
            (seen.count == most->second.count && seen.order < most->second.order)) {
            most = &entry;
        }
    }
    if (!most) return {};
    return {most->first, most->second.count, most->second.first, most->second.last};
}

std::string DescribeStretch(const Stretch& stretch) {
    return "zero bytes from offset " + DecimalUtf8(static_cast<int64_t>(stretch.offset)) + " to " +
           DecimalUtf8(static_cast<int64_t>(stretch.offset + stretch.length - 1)) + ": " +
           SizeText(stretch.length);
}

}  // namespace murl::doctor
