#include "sim/verbs.h"

#include <array>

#include "text/escaped_text.h"
#include "text/readable_text.h"
#include "text/text.h"

namespace murl::sim {

namespace {

// ---- Argument forms -------------------------------------------------------------------------

void WriteName(std::string& out, std::u16string_view name) {
    out += ' ';
    out += ToUtf8(name);
}

void WriteQuoted(std::string& out, std::u16string_view text) {
    out += ' ';
    out += ReadableText(text);
}

constexpr ArgumentForm kNoArguments = {
    [](Fields&, Event&) { return std::string(); },
    [](std::string&, const Event&) {},
    [](JsonWriter&, const Event&) {},
};

// TEXT
constexpr ArgumentForm kText = {
    [](Fields& fields, Event& event) { return fields.Text(event.text); },
    [](std::string& out, const Event& event) { WriteQuoted(out, event.text); },
    [](JsonWriter& json, const Event& event) { json.Member("text", event.text); },
};

std::string ReadColourText(Fields& fields, Event& event) {
    std::string_view colour;
    std::string problem = fields.Next("COLOUR", colour);
    if (problem.empty()) problem = ReadColour(colour, event.colour);
    if (problem.empty()) problem = fields.Text(event.text);
    return problem;
}

// COLOUR TEXT
constexpr ArgumentForm kColourText = {
    ReadColourText,
    [](std::string& out, const Event& event) {
        out += ' ';
        AppendDecimal(out, event.colour);
        WriteQuoted(out, event.text);
    },
    [](JsonWriter& json, const Event& event) {
        json.Member("colour", event.colour).Member("text", event.text);
    },
};

std::string ReadCheckBoxState(Fields& fields, Event& event) {
    std::string_view field;
    std::string problem = fields.Next("NAME", field);
    if (problem.empty()) problem = ReadCheckBox(field, event.name);
    if (problem.empty()) problem = fields.Next("on|off", field);
    if (!problem.empty()) return problem;
    if (field != "on" && field != "off") {
        return "the state must be on or off, not " + QuoteInput(field);
    }
    event.on = field == "on";
    return {};
}

// NAME on|off, for a check box
constexpr ArgumentForm kCheckBoxState = {
    ReadCheckBoxState,
    [](std::string& out, const Event& event) {
        WriteName(out, event.name);
        out += event.on ? " on" : " off";
    },
    [](JsonWriter& json, const Event& event) {
        json.Member("name", event.name).Member("state", event.on ? "on" : "off");
    },
};

// NAME, for a push button
constexpr ArgumentForm kPushButton = {
    [](Fields& fields, Event& event) {
        std::string_view field;
        std::string problem = fields.Next("NAME", field);
        return problem.empty() ? ReadPushButton(field, event.name) : problem;
    },
    [](std::string& out, const Event& event) { WriteName(out, event.name); },
    [](JsonWriter& json, const Event& event) { json.Member("name", event.name); },
};

// OPERATION, then its target where it takes one. `missing` only for an operation that hands
// back an object.
std::string ReadOperationTarget(Fields& fields, Event& event, bool missing) {
    std::string_view field;
    if (auto problem = fields.Next("OPERATION", field); !problem.empty()) return problem;
    if (auto problem = ReadOperation(field, missing, event.operation); !problem.empty()) {
        return problem;
    }
    const Operation op = event.operation;
    if (!fields.more()) {
        const std::string names = RequiredTargetNames(op);
        if (names.empty()) return {};
        return "missing argument NAME; " + std::string(OperationName(op)) + " takes: " + names;
    }
    if (TargetOf(op) == FaultTarget::None) return {};  // left over, reported as extra
    return ReadFaultTarget(*fields.Next(), op, event.name);
}

void WriteOperationText(std::string& out, const Event& event) {
    out += ' ';
    out += OperationName(event.operation);
    if (!event.name.empty()) WriteName(out, event.name);
}

void WriteOperationJson(JsonWriter& json, const Event& event) {
    if (!event.name.empty()) json.Member("name", event.name);
    json.Member("operation", OperationName(event.operation));
}

// OPERATION [NAME]
constexpr ArgumentForm kFault = {
    [](Fields& fields, Event& event) { return ReadOperationTarget(fields, event, false); },
    WriteOperationText,
    WriteOperationJson,
};
constexpr ArgumentForm kMissing = {
    [](Fields& fields, Event& event) { return ReadOperationTarget(fields, event, true); },
    WriteOperationText,
    WriteOperationJson,
};

// ---- What the verbs do --------------------------------------------------------------------

HostBool Incoming(const Event& event) noexcept {
    return event.eat ? kHostTrue : kHostFalse;
}

void Init(Stage& stage, const Event&, Record& record) {
    record.heard = stage.plugin.Exists();
    stage.plugin.Initialize(stage.host.site());
}

void Terminate(Stage& stage, const Event&, Record& record) {
    record.heard = stage.plugin.Exists();
    stage.plugin.Terminate();
}

void Destroy(Stage& stage, const Event&, Record& record) {
    record.heard = stage.plugin.Exists();
    stage.plugin.Destroy();
}

void Create(Stage& stage, const Event&, Record&) {
    stage.plugin.Create();
}

void Identity1(Stage& stage, const Event& event, Record&) {
    stage.host.stats().SetIdentityText1(event.text);
}

void Identity2(Stage& stage, const Event& event, Record&) {
    stage.host.stats().SetIdentityText2(event.text);
}

void Login(Stage& stage, const Event&, Record& record) {
    record.heard =
        stage.host.stats().subscribers().RaiseEvent(&CharacterStatsEvents::LoginComplete);
}

void Chat(Stage& stage, const Event& event, Record& record) {
    record.eat = Incoming(event);
    record.heard = stage.host.hooks().subscribers().RaiseEvent(
        &HooksEvents::ChatTextIntercept, event.text, event.colour, 0, *record.eat);
}

void Status(Stage& stage, const Event& event, Record& record) {
    record.eat = Incoming(event);
    record.heard = stage.host.hooks().subscribers().RaiseEvent(&HooksEvents::StatusTextIntercept,
                                                               event.text, *record.eat);
}

void Type(Stage& stage, const Event& event, Record& record) {
    record.eat = Incoming(event);
    record.heard = stage.host.hooks().subscribers().RaiseEvent(&HooksEvents::ChatParserIntercept,
                                                               event.text, *record.eat);
}

void Check(Stage& stage, const Event& event, Record& record) {
    const auto box = stage.host.CheckBox(event.name);
    record.heard = box && box->Click(event.on ? kHostTrue : kHostFalse);
}

void Hit(Stage& stage, const Event& event, Record& record) {
    const auto button = stage.host.PushButton(event.name);
    record.heard = button && button->Hit();
}

void Accept(Stage& stage, const Event& event, Record& record) {
    const auto button = stage.host.PushButton(event.name);
    record.heard = button && button->Accept();
}

void Fault(Stage& stage, const Event& event, Record&) {
    if (event.operation == Operation::ErrorLog) {
        if (const auto condition = LogConditionNamed(event.name)) stage.error_log.Set(*condition);
        return;
    }
    stage.host.faults().Set(event.operation, FaultKind::Fail, std::u16string(event.name));
}

void Missing(Stage& stage, const Event& event, Record&) {
    stage.host.faults().Set(event.operation, FaultKind::Missing, std::u16string(event.name));
}

void Heal(Stage& stage, const Event&, Record&) {
    stage.host.faults().Heal();
    stage.error_log.Heal();
}

constexpr std::string_view kNoPlugin = "no plug-in object";
constexpr std::string_view kNobody = "nobody listening";

// One row for each verb, in the order of `Verb`: RowOf indexes it.
constexpr std::array<VerbRow, static_cast<size_t>(Verb::Count)> kVerbs = {{
    // The plug-in object's life
    {"init", Verb::Init, false, kNoArguments, Init, kNoPlugin},
    {"terminate", Verb::Terminate, false, kNoArguments, Terminate, kNoPlugin},
    {"destroy", Verb::Destroy, false, kNoArguments, Destroy, kNoPlugin},
    {"create", Verb::Create, false, kNoArguments, Create, kNobody},
    // The character
    {"identity1", Verb::Identity1, false, kText, Identity1, kNobody},
    {"identity2", Verb::Identity2, false, kText, Identity2, kNobody},
    {"login", Verb::Login, false, kNoArguments, Login, kNobody},
    // The chat window
    {"chat", Verb::Chat, true, kColourText, Chat, kNobody},
    {"status", Verb::Status, true, kText, Status, kNobody},
    {"type", Verb::Type, true, kText, Type, kNobody},
    // The player on the panel
    {"check", Verb::Check, false, kCheckBoxState, Check, kNobody},
    {"hit", Verb::Hit, false, kPushButton, Hit, kNobody},
    {"accept", Verb::Accept, false, kPushButton, Accept, kNobody},
    // The host's faults
    {"fault", Verb::Fault, false, kFault, Fault, kNobody},
    {"missing", Verb::Missing, false, kMissing, Missing, kNobody},
    {"heal", Verb::Heal, false, kNoArguments, Heal, kNobody},
}};

constexpr bool EveryVerbHasItsRow() noexcept {
    for (size_t i = 0; i < kVerbs.size(); ++i) {
        if (kVerbs[i].verb != static_cast<Verb>(i) || kVerbs[i].name.empty()) return false;
    }
    return true;
}
static_assert(EveryVerbHasItsRow(), "kVerbs needs one row per verb, in the order of Verb");

}  // namespace

std::span<const VerbRow> Verbs() noexcept {
    return kVerbs;
}

const VerbRow* FindVerb(std::string_view name, bool eat) noexcept {
    for (const auto& row : kVerbs) {
        if (row.name == name && (!eat || row.eat_form)) return &row;
    }
    return nullptr;
}

const VerbRow& RowOf(Verb verb) noexcept {
    return kVerbs[static_cast<size_t>(verb)];
}

void AppendEventText(std::string& out, const Event& event) {
    const VerbRow& row = RowOf(event.verb);
    out += row.name;
    if (event.eat) out += "@eat";
    row.arguments.write_text(out, event);
}

void AppendEventJson(JsonWriter& json, const Event& event) {
    const VerbRow& row = RowOf(event.verb);
    json.Member("event", row.name);
    row.arguments.write_json(json, event);
}

}  // namespace murl::sim
