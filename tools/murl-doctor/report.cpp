#include "report.h"

#include <cmath>
#include <iterator>

#include "text/json.h"
#include "text/text.h"

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
    return DecimalUtf8(static_cast<int64_t>(count)) + " " + std::string(count == 1 ? one : many);
}

std::string SizeText(unsigned long long bytes) {
    std::string text = DecimalUtf8(static_cast<int64_t>(bytes)) + (bytes == 1 ? " byte" : " bytes");
    constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024) return text;
    double figure = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    for (; figure >= 1024 && unit + 1 < std::size(kUnits); ++unit) figure /= 1024;
    const int64_t tenths = std::llround(figure * 10);
    return text + " (" + DecimalUtf8(tenths / 10) + "." + DecimalUtf8(tenths % 10) + " " +
           kUnits[unit] + ")";
}

std::string AsJson(const Report& report, std::string_view version) {
    std::string out;
    JsonWriter json(out);
    json.Object().Member("doctor", version).Array("checks");
    for (const Row& row : report.rows()) {
        const CheckRow& check = row.id.row();
        json.Object().Member("id", std::string_view(row.id)).Member("area", check.area.name());
        json.Member("title", check.title).Member("status", NamesOf(row.status).word);
        json.Member("found", row.found).Member("action", row.action).Array("details");
        for (const std::string& detail : row.details) json.Value(detail);
        json.Close().Close();
    }
    json.Close().Member("problems", report.Problems()).Member("summary", report.Summary());
    json.Close();
    return out + "\n";
}

}  // namespace murl::doctor
