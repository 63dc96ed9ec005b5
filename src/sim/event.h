#pragma once
// A scenario's event, as the parser reads it and the verb table acts on it, and the record of
// what it did, as the transcript writes it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "sim/faults.h"
#include "sim/sim_host.h"

namespace murl::sim {

enum class Verb {
    Init,
    Terminate,
    Destroy,
    Create,
    Identity1,
    Identity2,
    Login,
    Chat,
    Status,
    Type,
    Check,
    Hit,
    Accept,
    Fault,
    Missing,
    Heal,
    Count  // not a verb: how many there are; the verb table has a row for each above
};

struct Event {
    int line = 0;
    Verb verb = Verb::Init;
    bool eat = false;          // @eat: the eat flag arrives as -1
    int32_t colour = 0;        // chat
    std::u16string text;       // identity1, identity2, chat, status, type
    std::u16string_view name;  // check, hit, accept; the target of fault and missing, if any
    bool on = false;           // check
    Operation operation = Operation::GetHooks;  // fault, missing
};

struct Record {
    const Event* event = nullptr;
    std::optional<HostBool> eat;           // chat, status, type: the flag after the call
    std::vector<PrintedLine> printed;      // successful WriteChatText calls, in order
    std::optional<std::u16string> failed;  // the failure the plug-in handed back, if any
    bool heard = true;                     // some subscriber received the event
};

}  // namespace murl::sim
