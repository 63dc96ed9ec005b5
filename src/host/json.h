#pragma once
// The one JSON writer: strings and members appended to a document being built. Every text is
// written as strict JSON: UTF-8, control characters escaped, and each lone surrogate, which
// strict readers refuse, as U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>

namespace murl {

// Appends `text` as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::u16string_view text);
// The same for UTF-8 text; a malformed sequence becomes U+FFFD.
void AppendJsonString(std::string& out, std::string_view utf8);

// Whether `text` holds half of a surrogate pair without its other half.
bool HasLoneSurrogate(std::u16string_view text) noexcept;
// When `text` holds a lone surrogate: appends ,"keyUnits":[...], its exact UTF-16 code units
// as numbers, to stand beside the string member "key". Otherwise appends nothing.
void AppendJsonUnits(std::string& out, std::string_view key, std::u16string_view text);

// Appends ,"key": ready for a value; `key` is ASCII without quotes or backslashes.
void AppendJsonKey(std::string& out, std::string_view key);

// Appends ,"key":value to a JSON object: a number, a text as AppendJsonString writes it (a
// UTF-16 text with its units member where it needs one), or ASCII text as it is.
void AppendJsonMember(std::string& out, std::string_view key, int64_t value);
void AppendJsonMember(std::string& out, std::string_view key, std::u16string_view text);
void AppendJsonUtf8Member(std::string& out, std::string_view key, std::string_view utf8);
void AppendJsonAsciiMember(std::string& out, std::string_view key, std::string_view ascii);

}  // namespace murl
