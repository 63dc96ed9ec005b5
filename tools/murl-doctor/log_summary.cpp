#include "log_summary.h"

namespace murl::doctor {

void LogSummary::Add(std::string_view line) {
    if (line.empty()) return;
    const size_t tab = line.find('\t');
    const std::string_view time =
        tab == std::string_view::npos ? std::string_view{} : line.substr(0, tab);
    const std::string_view failure = tab == std::string_view::npos ? line : line.substr(tab + 1);

    Seen& seen = failures_[std::string(failure)];
    if (seen.count == 0) {
        seen.order = failures_.size();
        seen.first = time;
    }
    ++seen.count;
    seen.last = time;
    ++entries_;

    std::string shown(line);
    for (char& c : shown) {
        if (c == '\t') c = ' ';
    }
    last_.push_back(std::move(shown));
    if (last_.size() > kept_) last_.pop_front();
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

}  // namespace murl::doctor
