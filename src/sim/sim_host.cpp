#include "sim/sim_host.h"

#include <utility>

namespace murl::sim {

namespace {

// `self` as interface `which` when it is `offered` and the scenario has not made the object
// named `offerer` refuse it.
template <class T>
std::shared_ptr<HostObject> Offer(const std::shared_ptr<T>& self, HostInterface which,
                                  HostInterface offered, const HostState& host,
                                  std::u16string_view offerer) {
    if (which != offered) return nullptr;
    if (host.faults.Find(Operation::Offer, offerer)) return nullptr;
    return self;
}

}  // namespace

// ---- Check box ----------------------------------------------------------------------------

SimCheckBox::SimCheckBox(std::shared_ptr<HostState> host, std::u16string name, int32_t id,
                         HostBool state)
    : host_(std::move(host)), name_(std::move(name)), id_(id), state_(state) {}

std::shared_ptr<HostObject> SimCheckBox::Query(HostInterface which) {
    return Offer(shared_from_this(), which, HostInterface::CheckBox, *host_, name_);
}

HostBool SimCheckBox::GetChecked() {
    host_->faults.Apply(Operation::GetChecked, name_);
    return state_;
}

void SimCheckBox::SetChecked(HostBool state) {
    host_->faults.Apply(Operation::SetChecked, name_);
    state_ = state;
}

bool SimCheckBox::Click(HostBool state) {
    state_ = state;
    return subscribers().RaiseEvent(&CheckBoxEvents::Change, id_, state);
}

// ---- Push button --------------------------------------------------------------------------

SimPushButton::SimPushButton(std::shared_ptr<HostState> host, std::u16string name, int32_t id)
    : host_(std::move(host)), name_(std::move(name)), id_(id) {}

std::shared_ptr<HostObject> SimPushButton::Query(HostInterface which) {
    return Offer(shared_from_this(), which, HostInterface::PushButton, *host_, name_);
}

bool SimPushButton::Hit() {
    return subscribers().RaiseEvent(&PushButtonEvents::Hit, id_);
}

bool SimPushButton::Accept() {
    return subscribers().RaiseEvent(&PushButtonEvents::Accepted, id_);
}

// ---- View ---------------------------------------------------------------------------------

SimView::SimView(std::shared_ptr<HostState> host, const PanelLayout& panel, int32_t first_id)
    : host_(std::move(host)), panel_(panel) {
    int32_t id = first_id;
    for (const auto& layout : panel_.controls) {
        std::shared_ptr<HostObject> object;
        switch (layout.kind) {
            case ControlKind::CheckBox:
                object = std::make_shared<SimCheckBox>(host_, layout.name, id, layout.checked);
                break;
            case ControlKind::PushButton:
                object = std::make_shared<SimPushButton>(host_, layout.name, id);
                break;
            case ControlKind::Other:
                object = std::make_shared<SimOtherControl>();
                break;
        }
        controls_.push_back({layout.name, std::move(object)});
        ++id;
    }
}

std::shared_ptr<HostObject> SimView::Query(HostInterface which) {
    return which == HostInterface::View ? shared_from_this() : nullptr;
}

std::shared_ptr<HostObject> SimView::FindControl(std::u16string_view name) {
    if (host_->faults.Apply(Operation::FindControl, name)) return nullptr;
    for (const auto& control : controls_) {
        if (control.name == name) return control.object;
    }
    return nullptr;
}

std::shared_ptr<SimCheckBox> SimView::CheckBox(std::u16string_view name) const {
    for (const auto& control : controls_) {
        if (control.name == name) return std::dynamic_pointer_cast<SimCheckBox>(control.object);
    }
    return nullptr;
}

std::shared_ptr<SimPushButton> SimView::PushButton(std::u16string_view name) const {
    for (const auto& control : controls_) {
        if (control.name == name) return std::dynamic_pointer_cast<SimPushButton>(control.object);
    }
    return nullptr;
}

// ---- View loader --------------------------------------------------------------------------

SimViewLoader::SimViewLoader(std::shared_ptr<HostState> host, XmlParser& parser)
    : host_(std::move(host)), parser_(parser) {}

std::shared_ptr<HostObject> SimViewLoader::Query(HostInterface which) {
    return Offer(shared_from_this(), which, HostInterface::ViewLoader, *host_, u"loader");
}

std::shared_ptr<IView> SimViewLoader::LoadViewXml(std::u16string_view definition) {
    if (host_->faults.Apply(Operation::LoadViewXml)) return nullptr;
    last_definition_ = definition;
    const PanelLayout panel = ReadPanel(parser_, definition);
    auto view = std::make_shared<SimView>(host_, panel, next_id_);
    next_id_ += static_cast<int32_t>(panel.controls.size());
    latest_ = view;
    return view;
}

// ---- Hooks --------------------------------------------------------------------------------

SimHooks::SimHooks(std::shared_ptr<HostState> host) : host_(std::move(host)) {}

std::shared_ptr<HostObject> SimHooks::Query(HostInterface which) {
    return Offer(shared_from_this(), which, HostInterface::Hooks, *host_, u"hooks");
}

void SimHooks::WriteChatText(std::u16string_view text, int32_t colour, int32_t target) {
    host_->faults.Apply(Operation::WriteChatText);
    host_->chat.push_back({std::u16string(text), colour, target});
}

// ---- Character statistics -----------------------------------------------------------------

SimCharacterStats::SimCharacterStats(std::shared_ptr<HostState> host) : host_(std::move(host)) {}

std::shared_ptr<HostObject> SimCharacterStats::Query(HostInterface which) {
    return Offer(shared_from_this(), which, HostInterface::CharacterStats, *host_, u"stats");
}

std::u16string SimCharacterStats::IdentityText1() {
    host_->faults.Apply(Operation::IdentityText1);
    return identity1_;
}

std::u16string SimCharacterStats::IdentityText2() {
    host_->faults.Apply(Operation::IdentityText2);
    return identity2_;
}

// ---- Site ---------------------------------------------------------------------------------

SimSite::SimSite(std::shared_ptr<HostState> host, std::shared_ptr<SimHooks> hooks,
                 std::shared_ptr<SimViewLoader> loader, std::shared_ptr<SimCharacterStats> stats)
    : host_(std::move(host)),
      hooks_(std::move(hooks)),
      loader_(std::move(loader)),
      stats_(std::move(stats)) {}

std::shared_ptr<HostObject> SimSite::Query(HostInterface which) {
    return which == HostInterface::Site ? shared_from_this() : nullptr;
}

std::shared_ptr<HostObject> SimSite::GetHooks() {
    if (host_->faults.Apply(Operation::GetHooks)) return nullptr;
    return hooks_;
}

std::shared_ptr<HostObject> SimSite::GetViewLoader() {
    if (host_->faults.Apply(Operation::GetViewLoader)) return nullptr;
    return loader_;
}

std::shared_ptr<HostObject> SimSite::GetServiceObject(std::u16string_view path) {
    if (host_->faults.Apply(Operation::GetServiceObject)) return nullptr;
    if (path == kCharacterStatsPath) return stats_;
    return nullptr;
}

// ---- Host ---------------------------------------------------------------------------------

SimHost::SimHost(XmlParser& parser)
    : state_(std::make_shared<HostState>()),
      hooks_(std::make_shared<SimHooks>(state_)),
      loader_(std::make_shared<SimViewLoader>(state_, parser)),
      stats_(std::make_shared<SimCharacterStats>(state_)),
      site_(std::make_shared<SimSite>(state_, hooks_, loader_, stats_)) {}

std::shared_ptr<SimCheckBox> SimHost::CheckBox(std::u16string_view name) const {
    const auto& view = loader_->latest_view();
    return view ? view->CheckBox(name) : nullptr;
}

std::shared_ptr<SimPushButton> SimHost::PushButton(std::u16string_view name) const {
    const auto& view = loader_->latest_view();
    return view ? view->PushButton(name) : nullptr;
}

std::vector<PrintedLine> SimHost::TakePrinted() {
    std::vector<PrintedLine> printed;
    printed.swap(state_->chat);
    return printed;
}

}  // namespace murl::sim
