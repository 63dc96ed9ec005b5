#pragma once
// Faults the scenario sets on host operations: from `fault` or `missing` on, until `heal`.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace murl::sim {

enum class Operation {
    GetHooks,
    GetViewLoader,
    GetServiceObject,
    LoadViewXml,
    FindControl,
    GetChecked,
    SetChecked,
    WriteChatText,
    IdentityText1,
    IdentityText2,
    GetSetting,
    SaveSetting,
    Offer,     // an object refuses to be taken as its expected interface
    ErrorLog,  // the plug-in's error log is written to (error_log_faults.h)
};

// The scenario's name of the operation, and back.
std::string_view OperationName(Operation op) noexcept;
std::optional<Operation> OperationFromName(std::string_view name) noexcept;
// Every operation's name, in the table's order.
std::vector<std::string_view> OperationNames();

enum class FaultKind {
    Fail,     // the operation fails
    Missing,  // the operation returns no object
};

// What an operation accepts as its target in `fault`/`missing`.
enum class FaultTarget {
    None,        // no target
    AnyControl,  // optionally one control name
    CheckBox,    // optionally one check box name
    Offerer,     // required: a control name or hooks, stats, loader
    Condition,   // required: one of the error log's conditions (kLogConditions)
};
FaultTarget TargetOf(Operation op) noexcept;
// Whether the operation hands back an object, so that `missing` means something for it.
bool ReturnsObject(Operation op) noexcept;

// The number carried by a simulated failure (the platform's "unspecified failure").
inline constexpr int32_t kSimulatedFault = -2147467259;

class Faults {
public:
    // From now on `op` on `target` (empty: on every target) behaves as `kind`; a later setting
    // for the same operation takes precedence over an earlier one.
    void Set(Operation op, FaultKind kind, std::u16string target = {});
    void Heal() noexcept { faults_.clear(); }

    // The fault in effect for `op` on `target`, if any.
    std::optional<FaultKind> Find(Operation op, std::u16string_view target = {}) const noexcept;

    // Applies the fault in effect for `op` on `target`: throws the simulated failure when it is
    // set to fail; returns whether it is set to return no object instead.
    bool Apply(Operation op, std::u16string_view target = {}) const;

private:
    struct Entry {
        Operation op;
        FaultKind kind;
        std::u16string target;
    };
    std::vector<Entry> faults_;
};

}  // namespace murl::sim
