#pragma once
// Texts for people (the simulator's transcripts and listings, the doctor's report): UTF-8 with
// the scenario language's escapes, so that a text shown can be pasted back into a scenario.

#include <string>
#include <string_view>

#include "text/escaped_text.h"

namespace murl {

// `text` in double quotes, with the named escapes and \uXXXX for the other controls, DEL and
// lone surrogates. Cut to `most` units (never inside a surrogate pair), it is followed by "...".
std::string ReadableText(std::u16string_view text, size_t most = std::u16string_view::npos);

// A name (a store's section or key): without quotes, the controls (C1 too) and lone surrogates
// escaped as in ReadableText, everything else as it is.
std::string ReadableName(std::u16string_view text);

// Appends `text` as it is, but for a lone surrogate, which UTF-8 cannot carry: escaped as in
// ReadableText.
void AppendVerbatim(std::string& out, std::u16string_view text);

}  // namespace murl
