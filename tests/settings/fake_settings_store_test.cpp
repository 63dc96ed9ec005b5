#include "platform/fake/fake_settings_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace murl {
namespace {

// Other tests walk failure paths through this fake; a failure that hits the wrong call would
// let them pass for the wrong reason.
TEST(FakeSettingsStore, FailsExactlyThePlannedCalls) {
    const Error denied(err::kPermissionDenied);
    const struct {
        const char* name;
        std::function<void(FakeSettingsStore&)> plan;
        std::vector<bool> failed;  // per call: three writes as SaveVariables makes them, one read
    } cases[] = {
        {"next write",
         [&](auto& s) { s.fail_at("SaveSetting", denied); },
         {true, false, false, false}},
        {"second write",
         [&](auto& s) { s.fail_at("SaveSetting", denied, 2); },
         {false, true, false, false}},
        {"every write",
         [&](auto& s) { s.fail_always("SaveSetting", denied); },
         {true, true, true, false}},
        {"key Zero",
         [&](auto& s) { s.fail_for_key("SaveSetting", u"Zero", denied); },
         {false, false, true, false}},
        {"key Evades, read",
         [&](auto& s) { s.fail_for_key("ReadSetting", u"Evades", denied); },
         {false, false, false, true}},
        {"cleared",
         [&](auto& s) {
             s.fail_always("SaveSetting", denied);
             s.fail_for_key("ReadSetting", u"Evades", denied);
             s.clear_failures();
         },
         {false, false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSettingsStore store;
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
            EXPECT_EQ(store.GetSetting(u"Murl", u"XyzAbc", u"Evades", u"0"),
                      failed[0] ? u"0" : u"5");
            failed.push_back(false);
        } catch (const Error&) {
            failed.push_back(true);
        }
        EXPECT_EQ(failed, c.failed);
        ASSERT_EQ(store.call_log().size(), 4u);
        for (size_t i = 0; i < failed.size(); ++i) EXPECT_EQ(store.call_log()[i].failed, failed[i]);
        EXPECT_EQ(store.call_log()[3], (FakeSettingsStore::Call{"ReadSetting", u"Murl", u"XyzAbc",
                                                                u"Evades", u"", failed[3]}));
        // A failed write stores nothing.
        EXPECT_EQ(store.Find(u"Murl", u"XyzAbc", u"Zero").has_value(), !failed[2]);
    }
}

}  // namespace
}  // namespace murl
