#include "sim/error_log_faults.h"

#include "host/error.h"
#include "plugin/cls_murl.h"

namespace murl::sim {

std::optional<LogCondition> LogConditionNamed(std::u16string_view name) noexcept {
    for (const auto& row : kLogConditions) {
        if (row.name == name) return row.condition;
    }
    return std::nullopt;
}

ErrorLogFaults::~ErrorLogFaults() {
    try {
        Heal();
    } catch (...) {
        // The log stays as it is; the run is over.
    }
}

void ErrorLogFaults::Set(LogCondition condition) {
    const std::u16string log = platform_.JoinPath(plugin_.ModuleFolder(), kErrorLogName);
    std::unique_ptr<FileSystem> files = platform_.files.Create();
    if (!files->FileExists(log)) {
        try {
            files->CreateTextFile(log, false);
        } catch (const Error& e) {
            if (e.number() != err::kFileAlreadyExists) throw;
        }
    }
    log_ = log;
    switch (condition) {
        case LogCondition::ReadOnly:
            SetReadOnly(*files, true);
            break;
        case LogCondition::Locked: {
            if (lock_) break;
            // A stream opened as the plug-in opens one takes the lock that every writer takes,
            // and keeps it until it is closed. Opening needs a writable file for a moment.
            const bool read_only = read_only_;
            if (read_only) SetReadOnly(*files, false);
            try {
                lock_ = files->OpenTextFile(log, kForAppending);
            } catch (...) {
                if (read_only) SetReadOnly(*files, true);
                throw;
            }
            if (read_only) SetReadOnly(*files, true);
            holder_ = std::move(files);
            break;
        }
    }
}

void ErrorLogFaults::Heal() {
    lock_.reset();
    holder_.reset();
    if (read_only_) SetReadOnly(*platform_.files.Create(), false);
}

void ErrorLogFaults::SetReadOnly(FileSystem& files, bool read_only) {
    files.GetFile(log_)->SetAttributes(read_only ? kAttrReadOnly : kAttrArchive);
    read_only_ = read_only;
}

}  // namespace murl::sim
