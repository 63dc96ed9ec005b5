#pragma once
// Records every message box instead of showing it. Show() can be told to fail (BoxCall::Show);
// on_show, when set, runs while the box is "open", before Show returns.

#include <functional>
#include <string>
#include <vector>

#include "platform/fake/fail_plan.h"
#include "platform/message_box.h"

namespace murl {

enum class BoxCall { Show };

class FakeMessageBox : public MessageBox, public FailPlan<BoxCall> {
public:
    struct Shown {
        std::u16string prompt;
        int32_t style = 0;
        std::u16string title;
    };

    void Show(std::u16string_view prompt, int32_t style, std::u16string_view title) override {
        CountOrFail(BoxCall::Show);
        shown.push_back({std::u16string(prompt), style, std::u16string(title)});
        if (on_show) on_show(shown.back());
    }

    std::vector<Shown> shown;
    std::function<void(const Shown&)> on_show;
};

}  // namespace murl
