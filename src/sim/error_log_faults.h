#pragma once
// The error log's failures that `fault ErrorLog CONDITION` brings about: for real, on
// murl_err.log in the folder of the plug-in's module, so that the plug-in meets them through its
// own file-system port, whether it is linked in or runs inside murl.dll.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "platform/platform.h"
#include "sim/plugin_binding.h"

namespace murl::sim {

enum class LogCondition {
    ReadOnly,  // the log is a read-only file: every write is refused at once
    Locked,    // another writer holds the log's lock: a write gives up after the lock's wait
};

struct LogConditionRow {
    LogCondition condition;
    std::u16string_view name;  // as a scenario writes it
};

// Every condition, one row each.
inline constexpr LogConditionRow kLogConditions[] = {
    {LogCondition::ReadOnly, u"read-only"},
    {LogCondition::Locked, u"locked"},
};

// The condition named `name`, if any.
std::optional<LogCondition> LogConditionNamed(std::u16string_view name) noexcept;

class ErrorLogFaults {
public:
    // The log is found in `plugin`'s module folder and reached through `platform`'s file system;
    // both must outlive this.
    ErrorLogFaults(const Platform& platform, const PluginBinding& plugin) noexcept
        : platform_(platform), plugin_(plugin) {}
    ~ErrorLogFaults();  // lifts every condition, as far as the file lets it
    ErrorLogFaults(const ErrorLogFaults&) = delete;
    ErrorLogFaults& operator=(const ErrorLogFaults&) = delete;

    // Brings `condition` about until Heal, creating an empty log where there is none. Throws
    // when the file cannot be put in that condition.
    void Set(LogCondition condition);
    // Lifts every condition: the log is writable and nobody holds it.
    void Heal();

private:
    void SetReadOnly(FileSystem& files, bool read_only);

    Platform platform_;
    const PluginBinding& plugin_;
    std::u16string log_;  // the log that conditions are in effect on
    bool read_only_ = false;
    std::unique_ptr<FileSystem> holder_;  // the component of the stream that holds the lock
    std::unique_ptr<TextStream> lock_;    // holds the log's lock while it is open
};

}  // namespace murl::sim
