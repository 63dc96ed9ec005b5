#include "test_host.h"

#include "plugin/view_definition.h"

namespace murl::test {

std::shared_ptr<HostObject> TestView::FindControl(std::u16string_view name) {
    const std::string key(name.begin(), name.end());
    faults_.Check("FindControl:" + key);
    if (faults_.missing.count("FindControl:" + key)) return nullptr;
    auto it = controls.find(name);
    return it == controls.end() ? nullptr : it->second;
}

std::shared_ptr<IView> TestLoader::LoadViewXml(std::u16string_view definition) {
    faults_.Check("LoadViewXml");
    loaded = definition;
    if (faults_.missing.count("LoadViewXml")) return nullptr;
    return view_;
}

class TestHost::Site final : public TestObject<ISite> {
public:
    Site(TestHost& host) : TestObject(host.faults, "site"), host_(host) {}
    std::shared_ptr<HostObject> GetHooks() override { return Hand("GetHooks", host_.hooks); }
    std::shared_ptr<HostObject> GetViewLoader() override { return Hand("GetViewLoader", host_.loader); }
    std::shared_ptr<HostObject> GetServiceObject(std::u16string_view path) override {
        if (path != kCharacterStatsPath) return nullptr;
        return Hand("GetServiceObject", host_.stats);
    }

private:
    std::shared_ptr<HostObject> Hand(const std::string& operation, std::shared_ptr<HostObject> object) {
        faults_.Check(operation);
        if (faults_.missing.count(operation)) return nullptr;
        return object;
    }
    TestHost& host_;
};

TestHost::TestHost()
    : hooks(std::make_shared<TestHooks>(faults)),
      stats(std::make_shared<TestStats>(faults)),
      view(std::make_shared<TestView>(faults)),
      loader(std::make_shared<TestLoader>(faults, view)),
      site_(std::make_shared<Site>(*this)) {
    const HostBool initial[] = {-1, -1, -1, -1, 0, 0};
    for (size_t i = 0; i < kBoxNames.size(); ++i) {
        auto box = std::make_shared<TestCheckBox>(faults, kBoxNames[i], initial[i]);
        boxes[kBoxNames[i]] = box;
        view->controls[std::u16string(kBoxNames[i].begin(), kBoxNames[i].end())] = box;
    }
    for (std::string name : {"cmdReset", "cmdOut"}) {
        auto button = std::make_shared<TestButton>(faults, name);
        buttons[name] = button;
        view->controls[std::u16string(name.begin(), name.end())] = button;
    }
}

std::shared_ptr<ISite> TestHost::site() { return site_; }

HostBool TestHost::Chat(std::u16string_view text, int32_t colour, HostBool eat) {
    hooks->events.Raise([&](HooksEvents& e) { e.ChatTextIntercept(text, colour, 0, eat); });
    return eat;
}
HostBool TestHost::Status(std::u16string_view text, HostBool eat) {
    hooks->events.Raise([&](HooksEvents& e) { e.StatusTextIntercept(text, eat); });
    return eat;
}
HostBool TestHost::Type(std::u16string_view text, HostBool eat) {
    hooks->events.Raise([&](HooksEvents& e) { e.ChatParserIntercept(text, eat); });
    return eat;
}
void TestHost::Login(std::u16string id1, std::u16string id2) {
    stats->id1 = std::move(id1);
    stats->id2 = std::move(id2);
    stats->events.Raise([](CharacterStatsEvents& e) { e.LoginComplete(); });
}
void TestHost::Hit(const std::string& button) {
    buttons.at(button)->events.Raise([](PushButtonEvents& e) { e.Hit(3); });
}
void TestHost::Accept(const std::string& button) {
    buttons.at(button)->events.Raise([](PushButtonEvents& e) { e.Accepted(3); });
}
std::string TestHost::BoxStates() const {
    std::string states;
    for (const auto& name : kBoxNames) states += boxes.at(name)->state == -1 ? '1' : boxes.at(name)->state == 0 ? '0' : '?';
    return states;
}

}  // namespace murl::test
