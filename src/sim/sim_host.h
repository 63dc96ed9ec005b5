#pragma once
// The simulated host: the site the plug-in is initialised with, and behind it the hooks, the
// view loader, the views it builds with their check boxes and push buttons, and the character
// statistics service. Every host operation consults the scenario's faults first. Events are
// raised to the subscribed sinks only; with no subscriber they reach nobody.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "sim/faults.h"
#include "sim/panel_layout.h"
#include "sim/subscribers.h"
#include "sim/xml_parser.h"

namespace murl::sim {

struct PrintedLine {
    std::u16string text;
    int32_t colour = 0;
    int32_t target = 0;
    bool operator==(const PrintedLine&) const = default;
};

// What every host object shares: the faults in effect and the chat window.
struct HostState {
    Faults faults;
    std::vector<PrintedLine> chat;  // lines printed since the host last took them
};

class SimCheckBox final : public SimEventObject<ICheckBox>,
                          public std::enable_shared_from_this<SimCheckBox> {
public:
    SimCheckBox(std::shared_ptr<HostState> host, std::u16string name, int32_t id, HostBool state);

    std::shared_ptr<HostObject> Query(HostInterface which) override;
    HostBool GetChecked() override;
    void SetChecked(HostBool state) override;

    // The player clicks the box into `state`; subscribers hear Change. Returns whether anyone
    // did.
    bool Click(HostBool state);

    const std::u16string& name() const noexcept { return name_; }
    int32_t id() const noexcept { return id_; }
    HostBool state() const noexcept { return state_; }

private:
    std::shared_ptr<HostState> host_;
    std::u16string name_;
    int32_t id_;
    HostBool state_;
};

class SimPushButton final : public SimEventObject<IPushButton>,
                            public std::enable_shared_from_this<SimPushButton> {
public:
    SimPushButton(std::shared_ptr<HostState> host, std::u16string name, int32_t id);

    std::shared_ptr<HostObject> Query(HostInterface which) override;

    bool Hit();
    bool Accept();

    const std::u16string& name() const noexcept { return name_; }
    int32_t id() const noexcept { return id_; }

private:
    std::shared_ptr<HostState> host_;
    std::u16string name_;
    int32_t id_;
};

// A named control of a kind the host does not simulate: it offers no interface.
class SimOtherControl final : public HostObject {
public:
    std::shared_ptr<HostObject> Query(HostInterface) override { return nullptr; }
};

class SimView final : public IView, public std::enable_shared_from_this<SimView> {
public:
    SimView(std::shared_ptr<HostState> host, const PanelLayout& panel, int32_t first_id);

    std::shared_ptr<HostObject> Query(HostInterface which) override;
    // The control declared under `name`; no object for a name the view does not have.
    std::shared_ptr<HostObject> FindControl(std::u16string_view name) override;

    // The control named `name`, seen from the host's side; null when there is none.
    std::shared_ptr<SimCheckBox> CheckBox(std::u16string_view name) const;
    std::shared_ptr<SimPushButton> PushButton(std::u16string_view name) const;
    const PanelLayout& panel() const noexcept { return panel_; }

private:
    struct Control {
        std::u16string name;
        std::shared_ptr<HostObject> object;
    };
    std::shared_ptr<HostState> host_;
    PanelLayout panel_;
    std::vector<Control> controls_;
};

class SimViewLoader final : public IViewLoader, public std::enable_shared_from_this<SimViewLoader> {
public:
    SimViewLoader(std::shared_ptr<HostState> host, XmlParser& parser);

    std::shared_ptr<HostObject> Query(HostInterface which) override;
    std::shared_ptr<IView> LoadViewXml(std::u16string_view definition) override;

    // The view built last; the host keeps it shown after the plug-in lets go of it.
    const std::shared_ptr<SimView>& latest_view() const noexcept { return latest_; }
    // The definition handed to the last LoadViewXml that got that far.
    const std::u16string& last_definition() const noexcept { return last_definition_; }

private:
    std::shared_ptr<HostState> host_;
    XmlParser& parser_;
    std::shared_ptr<SimView> latest_;
    std::u16string last_definition_;
    int32_t next_id_ = 1;
};

class SimHooks final : public SimEventObject<IHooks>,
                       public std::enable_shared_from_this<SimHooks> {
public:
    explicit SimHooks(std::shared_ptr<HostState> host);

    std::shared_ptr<HostObject> Query(HostInterface which) override;
    void WriteChatText(std::u16string_view text, int32_t colour, int32_t target) override;

private:
    std::shared_ptr<HostState> host_;
};

class SimCharacterStats final : public SimEventObject<ICharacterStats>,
                                public std::enable_shared_from_this<SimCharacterStats> {
public:
    explicit SimCharacterStats(std::shared_ptr<HostState> host);

    std::shared_ptr<HostObject> Query(HostInterface which) override;
    std::u16string IdentityText1() override;
    std::u16string IdentityText2() override;

    void SetIdentityText1(std::u16string text) { identity1_ = std::move(text); }
    void SetIdentityText2(std::u16string text) { identity2_ = std::move(text); }

private:
    std::shared_ptr<HostState> host_;
    std::u16string identity1_, identity2_;
};

class SimSite final : public ISite, public std::enable_shared_from_this<SimSite> {
public:
    SimSite(std::shared_ptr<HostState> host, std::shared_ptr<SimHooks> hooks,
            std::shared_ptr<SimViewLoader> loader, std::shared_ptr<SimCharacterStats> stats);

    std::shared_ptr<HostObject> Query(HostInterface which) override;
    std::shared_ptr<HostObject> GetHooks() override;
    std::shared_ptr<HostObject> GetViewLoader() override;
    // The character statistics at their path; no object at any other path.
    std::shared_ptr<HostObject> GetServiceObject(std::u16string_view path) override;

private:
    std::shared_ptr<HostState> host_;
    std::shared_ptr<SimHooks> hooks_;
    std::shared_ptr<SimViewLoader> loader_;
    std::shared_ptr<SimCharacterStats> stats_;
};

// The whole host: one site with its hooks, view loader and character statistics.
class SimHost {
public:
    explicit SimHost(XmlParser& parser);

    Faults& faults() noexcept { return state_->faults; }
    const std::shared_ptr<SimSite>& site() const noexcept { return site_; }
    SimHooks& hooks() noexcept { return *hooks_; }
    SimCharacterStats& stats() noexcept { return *stats_; }
    SimViewLoader& loader() noexcept { return *loader_; }

    // The controls of the panel on show, from the host's side; null while there is none.
    std::shared_ptr<SimCheckBox> CheckBox(std::u16string_view name) const;
    std::shared_ptr<SimPushButton> PushButton(std::u16string_view name) const;

    // The lines printed into the chat window since the last call.
    std::vector<PrintedLine> TakePrinted();

private:
    std::shared_ptr<HostState> state_;
    std::shared_ptr<SimHooks> hooks_;
    std::shared_ptr<SimViewLoader> loader_;
    std::shared_ptr<SimCharacterStats> stats_;
    std::shared_ptr<SimSite> site_;
};

}  // namespace murl::sim
