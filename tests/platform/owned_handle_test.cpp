#include <gtest/gtest.h>

#include <vector>

#include "platform/owned_handle.h"

namespace murl {
namespace {

// Resources are numbers; 0 is the empty value. Every release is noted, so a resource released
// late, twice or never shows.
struct CountingTraits {
    using Value = int;
    static inline std::vector<int> closed;
    static int Empty() noexcept { return 0; }
    static bool Close(int value) noexcept {
        closed.push_back(value);
        return true;
    }
    static void Fail() {}
};
using Held = OwnedHandle<CountingTraits>;

TEST(OwnedHandle, MoveAssignmentReleasesTheOldResourceAtOnce) {
    struct Case {
        const char* name;
        int target, source;
        std::vector<int> closed_by_assignment;  // before either holder ends
    };
    const Case kCases[] = {
        {"both hold", 1, 2, {1}},
        {"target empty", 0, 2, {}},
        {"source empty", 1, 0, {1}},
        {"both empty", 0, 0, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        CountingTraits::closed.clear();
        {
            Held target(c.target);
            Held source(c.source);
            target = std::move(source);
            EXPECT_EQ(CountingTraits::closed, c.closed_by_assignment);
            EXPECT_EQ(target.get(), c.source);
            EXPECT_FALSE(source.open());
            CountingTraits::closed.clear();
        }
        // Only what the target took over is released when the holders end, and once.
        EXPECT_EQ(CountingTraits::closed,
                  c.source ? std::vector<int>{c.source} : std::vector<int>{});
    }
}

TEST(OwnedHandle, MoveAssignmentToItselfKeepsTheResource) {
    CountingTraits::closed.clear();
    {
        Held held(1);
        Held& same = held;
        held = std::move(same);
        EXPECT_EQ(held.get(), 1);
        EXPECT_TRUE(CountingTraits::closed.empty());
    }
    EXPECT_EQ(CountingTraits::closed, std::vector<int>{1});
}

}  // namespace
}  // namespace murl
