#include "platform/fake/fake_settings_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace murl {
namespace {

// Other tests walk failure paths through this fake; a failure that hits the wrong call would
// let them pass for the wrong reason. What the store adds to its FailPlan: failures by key,
// the call log, and nothing stored by a failed call.
TEST(FakeSettingsStore, FailsExactlyThePlannedCalls) {
    const Error denied(err::kPermissionDenied);
    using enum StoreCall;
    const struct {
        const char* name;
        std::function<void(FakeSettingsStore&)> plan;
        std::vector<bool> failed;  // per call: writes of Evades, Resists, Zero, a read of Evades
    } cases[] = {
        {"key Zero, write",
         [&](auto& s) { s.fail_for_key(SaveSetting, u"Zero", denied); },
         {false, false, true, false}},
        {"key Evades, read",
         [&](auto& s) { s.fail_for_key(ReadSetting, u"Evades", denied); },
         {false, false, false, true}},
        {"a key of no call",
         [&](auto& s) { s.fail_for_key(SaveSetting, u"Other", denied); },
         {false, false, false, false}},
        {"calls failed by key count for the plan",
         [&](auto& s) {
             s.fail_for_key(SaveSetting, u"Evades", denied);
             s.fail_at(SaveSetting, denied, 3);
         },
         {true, false, true, false}},
        {"cleared",
         [&](auto& s) {
             s.fail_always(SaveSetting, denied);
             s.fail_for_key(ReadSetting, u"Evades", denied);
             s.clear_failures();
         },
         {false, false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSettingsStore store;
        store.Set(u"Murl", u"XyzAbc", u"Evades", std::u16string(u"1"));
        c.plan(store);
        std::vector<bool> failed;
        for (const auto* key : {u"Evades", u"Resists", u"Zero"}) {
            try {
                store.SaveSetting(u"Murl", u"XyzAbc", key, u"5");
                failed.push_back(false);
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), err::kPermissionDenied);
                failed.push_back(true);
            }
        }
        try {
            store.ReadSetting(u"Murl", u"Other", u"Evades");
            failed.push_back(false);
        } catch (const Error&) {
            failed.push_back(true);
        }
        EXPECT_EQ(failed, c.failed);
        const std::vector<FakeSettingsStore::Call> expected = {
            {SaveSetting, u"Murl", u"XyzAbc", u"Evades", u"5", c.failed[0]},
            {SaveSetting, u"Murl", u"XyzAbc", u"Resists", u"5", c.failed[1]},
            {SaveSetting, u"Murl", u"XyzAbc", u"Zero", u"5", c.failed[2]},
            {ReadSetting, u"Murl", u"Other", u"Evades", u"", c.failed[3]},
        };
        EXPECT_EQ(store.call_log(), expected);
        // A failed write stores nothing.
        EXPECT_EQ(store.Find(u"Murl", u"XyzAbc", u"Evades"), c.failed[0] ? u"1" : u"5");
        EXPECT_EQ(store.Find(u"Murl", u"XyzAbc", u"Zero").has_value(), !c.failed[2]);
    }
}

}  // namespace
}  // namespace murl
