#include "report.h"

#include <cstdio>
#include <iterator>

#include "host/json.h"

namespace murl::doctor {

namespace {

// How a verdict reads: as a word in the JSON report, and in the text report's column.
struct StatusNames {
    std::string_view word;
    std::string_view column;
};

StatusNames NamesOf(Status status) {
    switch (status) {
        case Status::kOk:
            return {"ok", "ok       "};
        case Status::kNote:
            return {"note", "note     "};
        case Status::kProblem:
            return {"problem", "PROBLEM  "};
        case Status::kSkipped:
            return {"skipped", "skipped  "};
    }
    return {"?", "?        "};
}

constexpr std::string_view kIndent = "           ";

}  // namespace

void Report::Add(Row row) {
    rows_.push_back(std::move(row));
}

int Report::Problems() const noexcept {
    int problems = 0;
    for (const Row& row : rows_) problems += row.status == Status::kProblem;
    return problems;
}

std::string Report::Summary() const {
    const int problems = Problems();
    if (problems == 0) return "No problem found.";
    return Counted(static_cast<size_t>(problems), "problem", "problems") + " found.";
}

std::string AsText(const Report& report, std::string_view version) {
    std::string text = "Murl doctor " + std::string(version) + "\n";
    const CheckRow* previous = nullptr;
    for (const Row& row : report.rows()) {
        const CheckRow& check = row.id.row();
        if (previous == nullptr || check.area != previous->area) {
            text += "\n";
            text += check.area.name();
            text += "\n";
        }
        previous = &check;
        text += "  ";
        text += NamesOf(row.status).column;
        text += check.title;
        if (!row.found.empty()) text += ": " + row.found;
        text += "\n";
        for (const std::string& detail : row.details) {
            text += kIndent;
            text += detail;
            text += "\n";
        }
        if (!row.action.empty()) {
            text += kIndent;
            text += "What to do: " + row.action + "\n";
        }
    }
    text += "\n" + report.Summary() + "\n";
    return text;
}

std::string Counted(size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string SizeText(unsigned long long bytes) {
    std::string text = std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024) return text;
    double figure = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    for (; figure >= 1024 && unit + 1 < std::size(kUnits); ++unit) figure /= 1024;
    char in_units[32];
    std::snprintf(in_units, sizeof in_units, " (%.1f %s)", figure, kUnits[unit]);
    return text + in_units;
}

std::string AsJson(const Report& report, std::string_view version) {
    std::string json = "{\"doctor\":";
    AppendJsonString(json, version);
    AppendJsonKey(json, "checks");
    json += '[';
    for (const Row& row : report.rows()) {
        const CheckRow& check = row.id.row();
        if (&row != &report.rows().front()) json += ',';
        json += "{\"id\":";
        AppendJsonString(json, row.id);
        AppendJsonUtf8Member(json, "area", check.area.name());
        AppendJsonUtf8Member(json, "title", check.title);
        AppendJsonAsciiMember(json, "status", NamesOf(row.status).word);
        AppendJsonUtf8Member(json, "found", row.found);
        AppendJsonUtf8Member(json, "action", row.action);
        AppendJsonKey(json, "details");
        json += '[';
        for (const std::string& detail : row.details) {
            if (&detail != &row.details.front()) json += ',';
            AppendJsonString(json, std::string_view(detail));
        }
        json += "]}";
    }
    json += ']';
    AppendJsonMember(json, "problems", report.Problems());
    AppendJsonUtf8Member(json, "summary", report.Summary());
    return json + "}\n";
}

}  // namespace murl::doctor
