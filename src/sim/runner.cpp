#include "sim/runner.h"

#include <exception>

#include "host/error.h"

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
    const HostBool incoming = event.eat ? kHostTrue : kHostFalse;
    switch (event.verb) {
        case Verb::Init:
            record.heard = plugin_.Exists();
            plugin_.Initialize(host_.site());
            break;
        case Verb::Terminate:
            record.heard = plugin_.Exists();
            plugin_.Terminate();
            break;
        case Verb::Destroy:
            record.heard = plugin_.Exists();
            plugin_.Destroy();
            break;
        case Verb::Create:
            plugin_.Create();
            break;
        case Verb::Identity1:
            host_.stats().SetIdentityText1(event.text);
            break;
        case Verb::Identity2:
            host_.stats().SetIdentityText2(event.text);
            break;
        case Verb::Login:
            record.heard = host_.stats().RaiseLoginComplete();
            break;
        case Verb::Chat:
            record.eat = incoming;
            record.heard = host_.hooks().RaiseChatText(event.text, event.colour, 0, *record.eat);
            break;
        case Verb::Status:
            record.eat = incoming;
            record.heard = host_.hooks().RaiseStatusText(event.text, *record.eat);
            break;
        case Verb::Type:
            record.eat = incoming;
            record.heard = host_.hooks().RaiseChatParser(event.text, *record.eat);
            break;
        case Verb::Check: {
            const auto box = host_.CheckBox(event.name);
            record.heard = box && box->Click(event.on ? kHostTrue : kHostFalse);
            break;
        }
        case Verb::Hit: {
            const auto button = host_.PushButton(event.name);
            record.heard = button && button->Hit();
            break;
        }
        case Verb::Accept: {
            const auto button = host_.PushButton(event.name);
            record.heard = button && button->Accept();
            break;
        }
        case Verb::Fault:
        case Verb::Missing:
            host_.faults().Set(event.operation,
                               event.verb == Verb::Fault ? FaultKind::Fail : FaultKind::Missing,
                               std::u16string(event.name));
            break;
        case Verb::Heal:
            host_.faults().Heal();
            break;
    }
}

}  // namespace murl::sim
