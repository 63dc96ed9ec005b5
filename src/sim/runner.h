#pragma once
// Plays a scenario: each event line becomes one host action on the simulated host and the
// plug-in, and one transcript record.

#include <string_view>

#include "sim/error_log_faults.h"
#include "sim/plugin_binding.h"
#include "sim/scenario.h"
#include "sim/sim_host.h"
#include "sim/transcript.h"

namespace murl::sim {

class Runner {
public:
    // All four must outlive the runner.
    Runner(SimHost& host, PluginBinding& plugin, TranscriptWriter& transcript,
           ErrorLogFaults& error_log) noexcept
        : host_(host), plugin_(plugin), transcript_(transcript), error_log_(error_log) {}

    // Creates the plug-in object, then plays every event of `content`, which must have passed
    // CheckScenario. The object is left as the scenario leaves it.
    void Run(std::string_view content);

    // Plays one event and writes its record.
    void Play(const Event& event);

private:
    // Does what the event asks of the host; fills in the record's verdict and audience.
    void Act(const Event& event, Record& record);

    SimHost& host_;
    PluginBinding& plugin_;
    TranscriptWriter& transcript_;
    ErrorLogFaults& error_log_;
};

}  // namespace murl::sim
