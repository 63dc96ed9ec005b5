#include "chat_corpus.h"

#include <array>
#include <string_view>

#include "text/text.h"

namespace murl::testing_support {

namespace {

// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return static_cast<size_t>(Next() % n); }
    template <class T, size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[Below(N)];
    }

private:
    uint64_t state_;
};

using Words = std::array<std::string_view, 12>;

constexpr Words kMonsters = {"Bog Gnawer",    "Mireling Elder", "Crag Raider", "Ashen Soldier",
                             "Tusked Warden", "Shadow Wisp",    "Hill Hurler", "Clay Golem",
                             "Frost Lurker",  "Glass Servant",  "Marsh Imp",   "Rust Bandit"};
constexpr Words kPlayers = {
    "Aldric",  "Brynja Stormcaller", "Céline", "Dunmore",         "Eowyth the Grey", "Fjölnir",
    "Garrick", "Hyacinth",           "Ishbel", "Jorund Ironhand", "Kaori 桜",        "Lys"};
constexpr Words kParts = {"head",      "chest",     "abdomen", "upper arm", "lower arm",  "hand",
                          "upper leg", "lower leg", "foot",    "left hand", "right foot", "back"};
constexpr Words kDamage = {"slashing", "piercing", "bludgeoning", "fire",     "cold", "acid",
                           "electric", "nether",   "slashing",    "piercing", "fire", "cold"};
constexpr Words kSpells = {"Iron Skin",      "Keen Edge",    "Mending Light", "Steady Hand",
                           "Quickened Step", "Warding Veil", "Clear Mind",    "Fleet Foot",
                           "Ember Guard",    "Acid Ward",    "Hale Spirit",   "Stone Will"};
constexpr Words kBots = {"[Buffbot] -t- Full buffs at the Millford waystone, say 'buffs'",
                         "-b- Repair bot online: tell me 'scrap' for a list",
                         "Travel bot -T- summons to every town, tell 'list'",
                         "TradeBot -B- buying coins, tell 'sell'",
                         "<Bazaar> -t- armour and weapons, tell 'catalogue'",
                         "Mule -b- holding keys, tell 'keys'",
                         "-T- Free level 7 buffs, stand still near me",
                         "Scribe -b- copies any scroll, 50 coins each",
                         "-t- gate to Greywater in 2 min, meet at the fountain",
                         "Crafter -B- weapon mending, tell 'mend'",
                         "[Info] -t- type 'help' for a list of commands",
                         "Gem -b- trading gems for writs"};
constexpr std::array<std::string_view, 40> kWords = {
    "the", "of",   "and",  "to",   "a",   "in",   "is",   "you", "that",       "it",
    "he",  "was",  "for",  "on",   "are", "as",   "with", "his", "they",       "at",
    "be",  "this", "have", "from", "or",  "one",  "had",  "by",  "word",       "but",
    "not", "what", "all",  "were", "we",  "when", "your", "can", "well-known", "co-op"};
constexpr std::array<std::string_view, 8> kFlavour = {"über",  "naïve",  "coöperate", "déjà-vu",
                                                      "ça va", "日本語", "🗡️",   "→"};

std::string Sentence(Random& r, size_t min_length) {
    std::string text;
    while (text.size() < min_length) {
        if (!text.empty()) text += ' ';
        text += r.Below(16) == 0 ? r.Pick(kFlavour) : r.Pick(kWords);
    }
    text += r.Below(4) == 0 ? "?" : ".";
    return text;
}

ChatLine Line(int32_t colour, std::string_view utf8) {
    return {colour, ToUtf16(utf8)};
}

ChatLine LongLine(Random& r) {
    switch (r.Below(4)) {
        case 0:  // a wall of combat text (rule 2 searches all of it)
            return Line(21, std::string(r.Pick(kMonsters)) + " hits your " +
                                std::string(r.Pick(kParts)) + " for 14 points of damage! " +
                                Sentence(r, 1024 + r.Below(1024)));
        case 1:  // a long magic line (rule 4 searches all of it)
            return Line(7, "The spell reports: " + Sentence(r, 1024 + r.Below(2048)));
        default:  // pasted text in ordinary chat
            return Line(r.Below(2) ? 2 : 3, std::string(r.Pick(kPlayers)) + " says, \"" +
                                                Sentence(r, 1024 + r.Below(3072)) + "\"");
    }
}

ChatLine MixedLine(Random& r) {
    const size_t roll = r.Below(100);
    const std::string monster(r.Pick(kMonsters));
    const std::string part(r.Pick(kParts));
    const std::string damage(r.Pick(kDamage));
    if (roll < 18) return Line(21, "You evaded " + monster + "!");
    if (roll < 26)
        return Line(21, monster + " hits your " + part + " for 0 points of " + damage + " damage!");
    if (roll < 44) {
        return Line(21, "You hit " + monster + " for " + std::to_string(1 + r.Below(120)) +
                            " points of " + damage + " damage.");
    }
    if (roll < 50) {
        return Line(21, monster + " bashes your " + part + " for " +
                            std::to_string(1 + r.Below(90)) + " points of " + damage + " damage!");
    }
    if (roll < 54) return Line(22, monster + " evaded your attack.");
    if (roll < 60) return Line(7, "You resist the spell cast by " + monster);
    if (roll < 67) {
        return Line(7, std::string(r.Pick(kPlayers)) + " casts " + std::string(r.Pick(kSpells)) +
                           " on you, refreshing " + std::string(r.Pick(kSpells)) + ".");
    }
    if (roll < 72) return Line(7, "Your " + std::string(r.Pick(kSpells)) + " spell has expired.");
    if (roll < 77)
        return Line(static_cast<int32_t>(r.Below(2) ? 2 : 3), std::string(r.Pick(kBots)));
    if (roll < 97) {
        return Line(
            static_cast<int32_t>(r.Below(3) ? 2 : 18 + r.Below(3)),
            std::string(r.Pick(kPlayers)) + " says, \"" + Sentence(r, 20 + r.Below(180)) + "\"");
    }
    return LongLine(r);
}

}  // namespace

std::vector<ChatLine> MakeChatCorpus(CorpusKind kind, size_t lines, uint64_t seed) {
    Random r(seed);
    std::vector<ChatLine> corpus;
    corpus.reserve(lines);
    for (size_t i = 0; i < lines; ++i) {
        corpus.push_back(kind == CorpusKind::Long ? LongLine(r) : MixedLine(r));
    }
    return corpus;
}

}  // namespace murl::testing_support
