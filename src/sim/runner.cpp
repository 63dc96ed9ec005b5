#include "sim/runner.h"

#include <exception>

#include "host/error.h"
#include "sim/verbs.h"

namespace murl::sim {

void Runner::Run(std::string_view content) {
    plugin_.Create();
    ForEachEvent(content, [&](const Event& event) { Play(event); });
    transcript_.Flush();
}

void Runner::Play(const Event& event) {
    Record record;
    record.event = &event;
    try {
        Act(event, record);
    } catch (const std::exception& e) {
        record.failed = DescribeException(e);
    } catch (...) {
        record.failed = u"Unknown failure";
    }
    record.printed = host_.TakePrinted();
    transcript_.Write(record);
}

void Runner::Act(const Event& event, Record& record) {
    Stage stage{host_, plugin_, error_log_};
    RowOf(event.verb).act(stage, event, record);
}

}  // namespace murl::sim
