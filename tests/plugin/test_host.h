#pragma once
// A small host for the plug-in's unit tests: every host object of the contract, events raised to
// subscribers only, and per-operation failures (`fail`) and empty results (`missing`).

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/host.h"

namespace murl::test {

// Failure switches shared by every object of one host.
struct Faults {
    std::set<std::string> fail;     // operation names ("GetHooks", "FindControl:chkResists")
    std::set<std::string> missing;  // operations that return no object
    std::set<std::string> refuse;   // objects refusing their interface ("hooks", "chkZero")
    void Check(const std::string& operation) const {
        if (fail.count(operation)) throw Error(5, u"host failure in " + std::u16string(operation.begin(), operation.end()));
    }
};

template <class Events>
class TestSource {
public:
    std::unique_ptr<Subscription> Subscribe(Events& sink) {
        sinks_.push_back(&sink);
        return std::make_unique<Sub>(this, &sink);
    }
    // Raises an event to every subscriber; returns how many it reached.
    int Raise(const std::function<void(Events&)>& event) {
        auto sinks = sinks_;
        for (auto* s : sinks) event(*s);
        return static_cast<int>(sinks.size());
    }
    size_t subscribers() const { return sinks_.size(); }

private:
    struct Sub : Subscription {
        Sub(TestSource* source, Events* sink) : source(source), sink(sink) {}
        ~Sub() override { std::erase(source->sinks_, sink); }
        TestSource* source;
        Events* sink;
    };
    std::vector<Events*> sinks_;
};

// A host object offering interface I, unless the host's faults make it refuse.
template <class I>
class TestObject : public I, public std::enable_shared_from_this<TestObject<I>> {
public:
    TestObject(const Faults& faults, std::string refusal_name)
        : faults_(faults), refusal_name_(std::move(refusal_name)) {}
    std::shared_ptr<HostObject> Query(HostInterface) override {
        if (faults_.refuse.count(refusal_name_)) return nullptr;
        return this->shared_from_this();
    }

protected:
    const Faults& faults_;
    std::string refusal_name_;
};

class TestCheckBox final : public TestObject<ICheckBox> {
public:
    TestCheckBox(const Faults& f, std::string name, HostBool state)
        : TestObject(f, name), name_(std::move(name)), state(state) {}
    HostBool GetChecked() override {
        faults_.Check("GetChecked:" + name_);
        ++reads;
        return state;
    }
    void SetChecked(HostBool s) override {
        faults_.Check("SetChecked:" + name_);
        state = s;
    }
    std::unique_ptr<Subscription> Advise(CheckBoxEvents& sink) override { return events.Subscribe(sink); }
    // The player clicks the box.
    void Click(HostBool s) {
        state = s;
        events.Raise([&](CheckBoxEvents& e) { e.Change(7, s); });
    }
    std::string name_;
    HostBool state;
    int reads = 0;
    TestSource<CheckBoxEvents> events;
};

class TestButton final : public TestObject<IPushButton> {
public:
    TestButton(const Faults& f, std::string name) : TestObject(f, std::move(name)) {}
    std::unique_ptr<Subscription> Advise(PushButtonEvents& sink) override { return events.Subscribe(sink); }
    TestSource<PushButtonEvents> events;
};

struct Printed {
    std::u16string text;
    int32_t colour;
    int32_t target;
    bool operator==(const Printed&) const = default;
};

class TestHooks final : public TestObject<IHooks> {
public:
    explicit TestHooks(const Faults& f) : TestObject(f, "hooks") {}
    void WriteChatText(std::u16string_view text, int32_t colour, int32_t target) override {
        faults_.Check("WriteChatText");
        printed.push_back({std::u16string(text), colour, target});
    }
    std::unique_ptr<Subscription> Advise(HooksEvents& sink) override { return events.Subscribe(sink); }
    std::vector<Printed> printed;
    TestSource<HooksEvents> events;
};

class TestStats final : public TestObject<ICharacterStats> {
public:
    explicit TestStats(const Faults& f) : TestObject(f, "stats") {}
    std::u16string IdentityText1() override {
        faults_.Check("IdentityText1");
        return id1;
    }
    std::u16string IdentityText2() override {
        faults_.Check("IdentityText2");
        return id2;
    }
    std::unique_ptr<Subscription> Advise(CharacterStatsEvents& sink) override { return events.Subscribe(sink); }
    std::u16string id1, id2;
    TestSource<CharacterStatsEvents> events;
};

class TestView final : public TestObject<IView> {
public:
    explicit TestView(const Faults& f) : TestObject(f, "view") {}
    std::shared_ptr<HostObject> FindControl(std::u16string_view name) override;
    std::map<std::u16string, std::shared_ptr<HostObject>, std::less<>> controls;
};

class TestLoader final : public TestObject<IViewLoader> {
public:
    TestLoader(const Faults& f, std::shared_ptr<TestView> view) : TestObject(f, "loader"), view_(std::move(view)) {}
    std::shared_ptr<IView> LoadViewXml(std::u16string_view definition) override;
    std::u16string loaded;

private:
    std::shared_ptr<TestView> view_;
};

// The whole host: a site and the objects it hands out, with the view's eight controls in the
// view definition's initial states.
class TestHost {
public:
    TestHost();
    std::shared_ptr<ISite> site();

    // Raising events; each returns the eat flag as the host holds it afterwards.
    HostBool Chat(std::u16string_view text, int32_t colour, HostBool eat = 0);
    HostBool Status(std::u16string_view text, HostBool eat = 0);
    HostBool Type(std::u16string_view text, HostBool eat = 0);
    void Login(std::u16string id1, std::u16string id2);
    void Hit(const std::string& button);
    void Accept(const std::string& button);
    TestCheckBox& box(const std::string& name) { return *boxes.at(name); }
    // The states of the six boxes in view order, "1" for -1 and "0" for 0.
    std::string BoxStates() const;

    Faults faults;
    std::shared_ptr<TestHooks> hooks;
    std::shared_ptr<TestStats> stats;
    std::shared_ptr<TestView> view;
    std::shared_ptr<TestLoader> loader;
    std::map<std::string, std::shared_ptr<TestCheckBox>> boxes;
    std::map<std::string, std::shared_ptr<TestButton>> buttons;

private:
    class Site;
    std::shared_ptr<Site> site_;
};

inline const std::vector<std::string> kBoxNames = {"chkEvades", "chkZero", "chkResists",
                                                   "chkExpired", "chkStatus", "chkBots"};

}  // namespace murl::test
