#include "sim/faults.h"

#include <utility>

#include "host/error.h"
#include "text/text.h"

namespace murl::sim {

namespace {

struct OperationRow {
    Operation op;
    std::string_view name;
    FaultTarget target = FaultTarget::None;
    bool returns_object = false;
};

constexpr OperationRow kOperations[] = {
    {Operation::GetHooks, "GetHooks", FaultTarget::None, true},
    {Operation::GetViewLoader, "GetViewLoader", FaultTarget::None, true},
    {Operation::GetServiceObject, "GetServiceObject", FaultTarget::None, true},
    {Operation::LoadViewXml, "LoadViewXml", FaultTarget::None, true},
    {Operation::FindControl, "FindControl", FaultTarget::AnyControl, true},
    {Operation::GetChecked, "GetChecked", FaultTarget::CheckBox},
    {Operation::SetChecked, "SetChecked", FaultTarget::CheckBox},
    {Operation::WriteChatText, "WriteChatText"},
    {Operation::IdentityText1, "IdentityText1"},
    {Operation::IdentityText2, "IdentityText2"},
    {Operation::GetSetting, "GetSetting"},
    {Operation::SaveSetting, "SaveSetting"},
    {Operation::Offer, "Offer", FaultTarget::Offerer, true},
    {Operation::ErrorLog, "ErrorLog", FaultTarget::Condition},
};

const OperationRow* RowOf(Operation op) noexcept {
    for (const auto& row : kOperations) {
        if (row.op == op) return &row;
    }
    return nullptr;
}

}  // namespace

std::string_view OperationName(Operation op) noexcept {
    const auto* row = RowOf(op);
    return row ? row->name : std::string_view();
}

std::optional<Operation> OperationFromName(std::string_view name) noexcept {
    for (const auto& row : kOperations) {
        if (row.name == name) return row.op;
    }
    return std::nullopt;
}

std::vector<std::string_view> OperationNames() {
    std::vector<std::string_view> names;
    for (const auto& row : kOperations) names.push_back(row.name);
    return names;
}

FaultTarget TargetOf(Operation op) noexcept {
    const auto* row = RowOf(op);
    return row ? row->target : FaultTarget::None;
}

bool ReturnsObject(Operation op) noexcept {
    const auto* row = RowOf(op);
    return row && row->returns_object;
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

bool Faults::Apply(Operation op, std::u16string_view target) const {
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
