#include <gtest/gtest.h>

#include "chat_corpus.h"
#include "counting_new.h"
#include "filter_rig.h"
#include "text/text.h"

namespace murl {
namespace {

using testing_support::AllocationCount;
using testing_support::CorpusKind;
using testing_support::FilterRig;
using testing_support::MakeChatCorpus;

// The chat filter runs for every line the game prints: it must not touch the heap, whether
// its rules fire or not.
TEST(ChatFilterAllocations, NonePerChatLine) {
    const auto mixed = MakeChatCorpus(CorpusKind::Mixed, 2000);
    const auto long_lines = MakeChatCorpus(CorpusKind::Long, 50);
    FilterRig rig;
    int eaten = 0;
    for (HostBool switches : {kHostTrue, kHostFalse}) {
        rig.SetSwitches(switches);
        for (const auto* corpus : {&mixed, &long_lines}) {
            for (const auto& line : *corpus) {
                const uint64_t before = AllocationCount();
                eaten += rig.Chat(line.text, line.colour) != 0;
                ASSERT_EQ(AllocationCount() - before, 0u)
                    << "colour " << line.colour << " \"" << ToUtf8(line.text) << "\" switches "
                    << switches;
            }
        }
    }
    EXPECT_GT(eaten, 500) << "the rules must have fired on part of the corpus";
    EXPECT_GT(rig.plugin().EvadeCount(), 0);
    // The counter counts: the corpus itself was built on the heap.
    EXPECT_GT(AllocationCount(), 0u);
}

}  // namespace
}  // namespace murl
