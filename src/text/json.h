#pragma once
// The one JSON writer. It lays out objects and arrays itself: a caller opens and closes them and
// adds members and values, and never writes a brace, a bracket or a comma. Every text is written
// as strict JSON: UTF-8, control characters escaped, and each lone surrogate, which strict
// readers refuse, as U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>

#include "text/digits.h"

namespace murl {

class JsonWriter {
public:
    // Appends to `out`: a document, or one after another (a line each, the caller's line breaks
    // between them).
    explicit JsonWriter(std::string& out) noexcept : out_(out) {}

    // Values: the document itself, or the next element of the array that is open.
    JsonWriter& Object();  // opens an object
    JsonWriter& Array();   // opens an array
    JsonWriter& Value(std::u16string_view text);
    JsonWriter& Value(std::string_view utf8);  // a malformed sequence becomes U+FFFD
    JsonWriter& Value(int64_t number);

    // Members of the object that is open; `key` is ASCII without quotes or backslashes.
    JsonWriter& Object(std::string_view key);
    JsonWriter& Array(std::string_view key);
    // A text that holds a lone surrogate is followed by "keyUnits", its exact UTF-16 code units
    // as numbers.
    JsonWriter& Member(std::string_view key, std::u16string_view text);
    JsonWriter& Member(std::string_view key, std::string_view utf8);
    JsonWriter& Member(std::string_view key, int64_t number);
    JsonWriter& Member(std::string_view key, Whole number);
    JsonWriter& Boolean(std::string_view key, bool value);
    JsonWriter& Null(std::string_view key);

    // Closes the innermost object or array that is open.
    JsonWriter& Close();

private:
    void Next();  // the comma before an element or a member that is not the first
    void Key(std::string_view key);
    void Open(char opening, char closing);

    std::string& out_;
    std::string closing_;  // what closes each level that is open, the innermost last
    bool first_ = true;    // nothing yet in the innermost level
};

}  // namespace murl
