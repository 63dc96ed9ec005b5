#include "settings_review.h"

#include <set>

#include "host/error.h"
#include "text/readable_text.h"
#include "text/text.h"
#include "plugin/conversions.h"
#include "plugin/stored_values.h"
#include "plugin/switches.h"

namespace murl::doctor {

namespace {

constexpr size_t kShownLength = 40;

enum class Kind { kCounter, kSwitch, kUnused };

Kind KindOf(const StoredValue& v) {
    if (v.section == kSwitchSection) {
        for (const SwitchRow& row : kSwitches) {
            if (row.key == v.key) return Kind::kSwitch;
        }
        return Kind::kUnused;
    }
    for (const std::u16string_view key : kCounterKeys) {
        if (key == v.key) return Kind::kCounter;
    }
    return Kind::kUnused;
}

std::string Place(const StoredValue& v) {
    return "section " + Shown(v.section) + ", key " + Shown(v.key);
}

// The plug-in's error for `v`, or its empty description when the value loads.
std::string LoadFailure(const StoredValue& v, Kind kind) {
    try {
        if (kind == Kind::kCounter) CounterFromStored(v.value);
        if (kind == Kind::kSwitch) SwitchFromStored(v.value);
    } catch (const Error& e) {
        return ToUtf8(e.description());
    }
    return {};
}

// A count below zero loads, but no filter ever makes one: something other than Murl wrote it.
bool IsNegativeCount(const StoredValue& v, Kind kind) {
    return kind == Kind::kCounter && CounterFromStored(v.value) < 0;
}

Row NegativeCountRow(const StoredValue& v) {
    Row row{"settings.value", Status::kNote, {}, {}, {}};
    row.found = Place(v) + " holds " + ShownValue(v.value, kShownLength) +
                ", a negative count: Murl loads it as it is, counts up from it and shows it so "
                "at \"Output Stats\"";
    row.action =
        "log in with this character, press \"Reset Stats\" on Murl's panel and confirm: Murl "
        "sets the character's three counts to 0 and stores them.";
    return row;
}

Row ProblemRow(const StoredValue& v, Kind kind, const std::string& failure) {
    Row row{"settings.value", Status::kProblem, {}, {}, {}};
    const std::string reported =
        "Murl reports \"Error in LoadVariables: " + failure + ". At line 0\" at each login";
    if (kind == Kind::kCounter) {
        row.found = Place(v) + " holds " + ShownValue(v.value, kShownLength) + ", not a count (" +
                    failure + ")";
        row.details.push_back(reported + " of this character and counts from 0.");
        row.action =
            "log in with this character and press \"Output Stats\" on Murl's panel once: Murl "
            "then stores the count as a number.";
    } else {
        row.found = Place(v) + " holds " + ShownValue(v.value, kShownLength) + ", not a switch (" +
                    failure + ")";
        row.details.push_back(reported + " and leaves the check box as it is until it is clicked.");
        row.action = "click the check box of " + Shown(v.key) +
                     " on Murl's panel (twice, to keep its state): Murl then stores True or "
                     "False.";
    }
    return row;
}

}  // namespace

std::string Shown(std::u16string_view text) {
    return ReadableText(text, kShownLength);
}

void ReviewSettings(const std::vector<StoredValue>& values, Report& report) {
    std::set<std::u16string> sections;
    Row listing{"settings.read", Status::kOk, {}, {}, {}};
    std::vector<Row> remarks;
    for (const StoredValue& v : values) {
        sections.insert(v.section);
        const Kind kind = KindOf(v);
        std::string line =
            Shown(v.section) + " " + Shown(v.key) + " = " + ShownValue(v.value, kShownLength);
        if (kind == Kind::kUnused) line += " (not used by Murl)";
        listing.details.push_back(std::move(line));
        if (kind == Kind::kUnused) continue;
        const std::string failure = LoadFailure(v, kind);
        if (!failure.empty()) {
            remarks.push_back(ProblemRow(v, kind, failure));
        } else if (IsNegativeCount(v, kind)) {
            remarks.push_back(NegativeCountRow(v));
        }
    }
    listing.found = values.empty() ? "none stored yet"
                                   : Counted(values.size(), "value", "values") + " in " +
                                         Counted(sections.size(), "section", "sections");
    report.Add(std::move(listing));
    for (Row& row : remarks) report.Add(std::move(row));
}

}  // namespace murl::doctor
