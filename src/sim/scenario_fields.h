#pragma once
// Reading the fields of a scenario line, for the verbs' argument forms. Every reader returns
// what is wrong with the field, or nothing when it is sound.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sim/faults.h"

namespace murl::sim {

// The fields of one line, separated by single blanks, taken from the front.
class Fields {
public:
    explicit Fields(std::string_view line) noexcept : rest_(line) {}

    // The next field; nothing when the line is used up.
    std::optional<std::string_view> Next() noexcept;
    // The next field as `out`, or "missing argument WHAT".
    std::string Next(std::string_view what, std::string_view& out);
    // The rest of the line as TEXT: as it stands, or a quoted string.
    std::string Text(std::u16string& text);
    // What is left over after the last argument: an extra argument or blank, or nothing.
    std::string Leftover() const;

    bool more() const noexcept { return more_; }

private:
    std::string_view rest_;
    bool more_ = true;
};

std::string ReadColour(std::string_view field, int32_t& colour);
// The control named `field`, as a check box or as a push button; `name` points at the
// simulator's own copy of the name.
std::string ReadCheckBox(std::string_view field, std::u16string_view& name);
std::string ReadPushButton(std::string_view field, std::u16string_view& name);
// `field` as the operation of `fault`, or with `missing` of `missing`.
std::string ReadOperation(std::string_view field, bool missing, Operation& op);
// The target of a fault on `op`, as TargetOf(op) allows it.
std::string ReadFaultTarget(std::string_view field, Operation op, std::u16string_view& name);
// The names that `op` requires one of as its target (Offer, ErrorLog), for messages.
std::string RequiredTargetNames(Operation op);

// Input as a diagnostic shows it: in double quotes, control characters and bytes that are not
// UTF-8 escaped (\t \n \r \xNN \u0085), cut after 60 characters with "...".
std::string QuoteInput(std::string_view raw);

}  // namespace murl::sim
