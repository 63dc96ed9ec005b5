#include "sim/faults.h"

#include <array>
#include <utility>

#include "host/error.h"
#include "host/text.h"

namespace murl::sim {

namespace {
constexpr std::array<std::pair<Operation, std::string_view>, 13> kNames = {{
    {Operation::GetHooks, "GetHooks"},
    {Operation::GetViewLoader, "GetViewLoader"},
    {Operation::GetServiceObject, "GetServiceObject"},
    {Operation::LoadViewXml, "LoadViewXml"},
    {Operation::FindControl, "FindControl"},
    {Operation::GetChecked, "GetChecked"},
    {Operation::SetChecked, "SetChecked"},
    {Operation::WriteChatText, "WriteChatText"},
    {Operation::IdentityText1, "IdentityText1"},
    {Operation::IdentityText2, "IdentityText2"},
    {Operation::GetSetting, "GetSetting"},
    {Operation::SaveSetting, "SaveSetting"},
    {Operation::Offer, "Offer"},
}};
}  // namespace

std::string_view OperationName(Operation op) noexcept {
    for (const auto& [value, name] : kNames) {
        if (value == op) return name;
    }
    return {};
}

std::optional<Operation> OperationFromName(std::string_view name) noexcept {
    for (const auto& [value, known] : kNames) {
        if (known == name) return value;
    }
    return std::nullopt;
}

FaultTarget TargetOf(Operation op) noexcept {
    switch (op) {
        case Operation::FindControl:
            return FaultTarget::AnyControl;
        case Operation::GetChecked:
        case Operation::SetChecked:
            return FaultTarget::CheckBox;
        case Operation::Offer:
            return FaultTarget::Offerer;
        default:
            return FaultTarget::None;
    }
}

bool ReturnsObject(Operation op) noexcept {
    switch (op) {
        case Operation::GetHooks:
        case Operation::GetViewLoader:
        case Operation::GetServiceObject:
        case Operation::LoadViewXml:
        case Operation::FindControl:
        case Operation::Offer:
            return true;
        default:
            return false;
    }
}

void Faults::Set(Operation op, FaultKind kind, std::u16string target) {
    faults_.push_back({op, kind, std::move(target)});
}

std::optional<FaultKind> Faults::Find(Operation op, std::u16string_view target) const noexcept {
    for (auto it = faults_.rbegin(); it != faults_.rend(); ++it) {
        if (it->op == op && (it->target.empty() || it->target == target)) return it->kind;
    }
    return std::nullopt;
}

bool Faults::Check(Operation op, std::u16string_view target) const {
    if (faults_.empty()) return false;
    const auto kind = Find(op, target);
    if (!kind) return false;
    if (*kind == FaultKind::Fail) {
        std::u16string description = ToUtf16(OperationName(op));
        description += u" failed (simulated fault)";
        throw Error(kSimulatedFault, std::move(description), u"murl-sim");
    }
    return true;
}

}  // namespace murl::sim
