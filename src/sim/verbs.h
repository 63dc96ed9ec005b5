#pragma once
// The scenario verbs, one row each: the name, the arguments and how they are written, what
// the verb does on the host and the plug-in, and what the transcript says when nobody hears
// it. The parser, the runner, both transcripts and the parser's fuzz target read this table;
// adding a verb is adding a row.

#include <span>
#include <string>
#include <string_view>

#include "sim/error_log_faults.h"
#include "sim/event.h"
#include "sim/plugin_binding.h"
#include "sim/scenario_fields.h"
#include "sim/sim_host.h"
#include "text/json.h"

namespace murl::sim {

// The arguments after a verb: how they are read from a line and written back out.
struct ArgumentForm {
    // Reads the arguments into `event`; returns what is wrong, or nothing.
    std::string (*read)(Fields& fields, Event& event);
    // Appends them as a scenario line has them, each after a blank.
    void (*write_text)(std::string& out, const Event& event);
    // Adds them as members of the event's JSON object.
    void (*write_json)(JsonWriter& json, const Event& event);
};

// What a verb acts on.
struct Stage {
    SimHost& host;
    PluginBinding& plugin;
    ErrorLogFaults& error_log;
};

struct VerbRow {
    std::string_view name;
    Verb verb;
    bool eat_form;  // also spelt NAME@eat
    const ArgumentForm& arguments;
    // Does what the event asks; fills in the record's verdict and audience.
    void (*act)(Stage& stage, const Event& event, Record& record);
    std::string_view unheard;  // the transcript's note when nobody received the event
};

// Every row, in the table's order.
std::span<const VerbRow> Verbs() noexcept;
// The row named `name`, if any; with `eat`, only a verb that has the @eat form.
const VerbRow* FindVerb(std::string_view name, bool eat) noexcept;
// The row of `verb`.
const VerbRow& RowOf(Verb verb) noexcept;

// The event as a scenario line writes it (its text always quoted), without the line break;
// read back, it is the same event.
void AppendEventText(std::string& out, const Event& event);
// The event's members of its JSON record: "event" and its arguments.
void AppendEventJson(JsonWriter& json, const Event& event);

}  // namespace murl::sim
