#pragma once
// The doctor's report: one row per check, in the order the checks ran. The text a player pastes
// and the JSON document are both written from these rows and the table of checks below.

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace murl::doctor {

enum class Status { kOk, kNote, kProblem, kSkipped };

// The parts of Murl the checks look at, in report order, as the report names them.
inline constexpr std::string_view kAreas[] = {"module",    "registration", "loading",
                                              "error log", "settings",     "trace"};

// An area of kAreas: a text that names no area does not compile.
class Area {
public:
    consteval Area(const char* name) : index_(IndexOf(name)) {}
    constexpr std::string_view name() const noexcept { return kAreas[index_]; }
    friend constexpr bool operator==(Area, Area) noexcept = default;

private:
    static consteval size_t IndexOf(std::string_view name) {
        for (size_t i = 0; i < std::size(kAreas); ++i) {
            if (kAreas[i] == name) return i;
        }
        throw "no area has this name";  // stops the compilation
    }
    size_t index_;
};

// Every check the doctor makes, in report order: its identifier, the part of Murl it looks
// at, and what it looks for.
struct CheckRow {
    std::string_view id;
    Area area;
    std::string_view title;
};
inline constexpr CheckRow kChecks[] = {
    {"module.installation", "module", "the installation checked"},
    {"module.present", "module", "murl.dll there"},
    {"module.version", "module", "version resource"},
    {"module.checksum", "module", "the file this release shipped"},
    {"registration.class", "registration", "class registered"},
    {"registration.path", "registration", "a game's process finds the registered file"},
    {"registration.same_file", "registration", "registered file is the installation's murl.dll"},
    {"registration.threading_model", "registration", "threading model"},
    {"registration.activation", "registration", "a game's request for the class reaches Murl's"},
    {"registration.progid", "registration", "ProgID names the class"},
    {"registration.typelib", "registration", "type library registered"},
    {"registration.typelib_file", "registration", "type library file present and loadable"},
    {"registration.typelib_version", "registration", "type library version"},
    {"loading.module", "loading", "module loads"},
    {"loading.class", "loading", "class created and released in-process"},
    {"loading.interfaces", "loading", "IDispatch and the plug-in interface"},
    {"loading.type_info", "loading", "type information readable"},
    {"log.writable", "error log", "this account can create and append murl_err.log"},
    {"log.entries", "error log", "entries"},
    {"settings.read", "settings", "this account's stored settings"},
    {"settings.value", "settings", "a stored value as Murl loads it"},
    {"trace.switch", "trace", "trace switch"},
    {"trace.file", "trace", "trace file writable when on, none left when off"},
    {"trace.space", "trace", "room on the drive for the trace"},
};

// A check's identifier: a text that names no check of kChecks does not compile.
class CheckId {
public:
    consteval CheckId(const char* id) : index_(IndexOf(id)) {}
    // The identifier of `row`, which must be an element of kChecks.
    static CheckId Of(const CheckRow& row) noexcept {
        return CheckId(static_cast<size_t>(&row - kChecks));
    }
    constexpr operator std::string_view() const noexcept { return kChecks[index_].id; }
    // Its row of kChecks, found without a search.
    constexpr const CheckRow& row() const noexcept { return kChecks[index_]; }
    friend constexpr bool operator==(CheckId, CheckId) noexcept = default;

private:
    constexpr explicit CheckId(size_t index) noexcept : index_(index) {}
    static consteval size_t IndexOf(std::string_view id) {
        for (size_t i = 0; i < std::size(kChecks); ++i) {
            if (kChecks[i].id == id) return i;
        }
        throw "no check has this identifier";  // stops the compilation
    }
    size_t index_;
};

// A row never holds chat text.
struct Row {
    CheckId id;
    Status status = Status::kOk;
    std::string found;                 // what the check found, in words
    std::string action;                // the one thing to do (problems only)
    std::vector<std::string> details;  // further lines: entries, stored values
};

class Report {
public:
    void Add(Row row);
    const std::vector<Row>& rows() const noexcept { return rows_; }
    int Problems() const noexcept;
    // "No problem found.", "1 problem found." or "N problems found."
    std::string Summary() const;

private:
    std::vector<Row> rows_;
};

// The report as plain text for a console or a message, and as one JSON document. Both end
// with a newline.
std::string AsText(const Report& report, std::string_view version);
std::string AsJson(const Report& report, std::string_view version);

// `count` and the noun that goes with it: "1 entry", "2 entries".
std::string Counted(size_t count, std::string_view one, std::string_view many);

// A size in words, in the units it names: "512 bytes", and from 1 KiB on with the figure in
// binary units after it, "1536 bytes (1.5 KiB)", "419430400 bytes (400.0 MiB)".
std::string SizeText(unsigned long long bytes);

}  // namespace murl::doctor
