#pragma once
// A plug-in object on the fake platform and the test host, with helpers to read what it did.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/text.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_settings_store.h"
#include "plugin/cls_murl.h"
#include "test_host.h"

namespace murl::test {

class PluginTest : public testing::Test {
protected:
    static constexpr std::u16string_view kLogPath = u"C:\\Plugins\\Murl\\murl_err.log";

    PluginTest() : platform_(fakes.MakePlatform(store)), plugin(std::make_unique<clsMurl>(platform_)) {}

    void Init() { plugin->IPlugin2_Initialize(host.site()); }

    // The error log's entries without their date-time stamp.
    std::vector<std::string> LogReports() const {
        std::vector<std::string> reports;
        if (!fakes.files.HasFile(kLogPath)) return reports;
        const std::string& bytes = fakes.files.Contents(kLogPath);
        size_t start = 0;
        while (start < bytes.size()) {
            const size_t end = bytes.find("\r\n", start);
            std::string line = bytes.substr(start, end - start);
            const size_t tab = line.find('\t');
            reports.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        return reports;
    }

    std::string Setting(std::u16string_view section, std::u16string_view key) const {
        auto value = store.Find(u"Murl", section, key);
        return value ? ToUtf8(*value) : "<absent>";
    }

    std::vector<std::string> PrintedTexts() const {
        std::vector<std::string> texts;
        for (const auto& p : host.hooks->printed) {
            EXPECT_EQ(p.colour, 5);
            EXPECT_EQ(p.target, 1);
            texts.push_back(ToUtf8(p.text));
        }
        return texts;
    }

    FakePlatform fakes;
    FakeSettingsStore store;
    Platform platform_;
    TestHost host;
    std::unique_ptr<clsMurl> plugin;
};

}  // namespace murl::test
