#include "report.h"

#include <stdexcept>

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

const CheckRow& CheckOf(std::string_view id) {
    for (const CheckRow& row : kChecks) {
        if (row.id == id) return row;
    }
    throw std::logic_error("no check named " + std::string(id));
}

void Report::Add(Row row) {
    CheckOf(row.id);
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
    return std::to_string(problems) + (problems == 1 ? " problem found." : " problems found.");
}

std::string AsText(const Report& report, std::string_view version) {
    std::string text = "Murl doctor " + std::string(version) + "\n";
    std::string_view area;
    for (const Row& row : report.rows()) {
        const CheckRow& check = CheckOf(row.id);
        if (check.area != area) {
            area = check.area;
            text += "\n";
            text += area;
            text += "\n";
        }
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

std::string JsonString(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    quoted += "\\u00";
                    quoted += kHex[byte >> 4];
                    quoted += kHex[byte & 0xF];
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

std::string AsJson(const Report& report, std::string_view version) {
    std::string json = "{\"doctor\":" + JsonString(version) + ",\"checks\":[";
    bool first = true;
    for (const Row& row : report.rows()) {
        const CheckRow& check = CheckOf(row.id);
        if (!first) json += ',';
        first = false;
        json += "{\"id\":" + JsonString(row.id) + ",\"area\":" + JsonString(check.area) +
                ",\"title\":" + JsonString(check.title) +
                ",\"status\":" + JsonString(NamesOf(row.status).word) +
                ",\"found\":" + JsonString(row.found) + ",\"action\":" + JsonString(row.action) +
                ",\"details\":[";
        for (size_t i = 0; i < row.details.size(); ++i) {
            if (i > 0) json += ',';
            json += JsonString(row.details[i]);
        }
        json += "]}";
    }
    json += "],\"problems\":" + std::to_string(report.Problems()) +
            ",\"summary\":" + JsonString(report.Summary()) + "}\n";
    return json;
}

}  // namespace murl::doctor
