#pragma once
// A deterministic corpus of chat lines as a busy fight prints them: evades, resists,
// zero-damage hits, spell expirations, bot adverts, ordinary combat and talk, and a few lines
// of a thousand characters and more. The same seed always gives the same lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace murl::testing_support {

struct ChatLine {
    int32_t colour;
    std::u16string text;
};

enum class CorpusKind {
    Mixed,  // the fight's mix, long lines included
    Long,   // only lines of 1024 characters and more
};

std::vector<ChatLine> MakeChatCorpus(CorpusKind kind, size_t lines, uint64_t seed = 0x6d75726cu);

}  // namespace murl::testing_support
