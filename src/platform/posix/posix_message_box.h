#pragma once
#include <iosfwd>

#include "platform/message_box.h"

namespace murl {

// There is no one to click OK here: the box is written to a stream (standard error unless
// told otherwise) as "[title] prompt" and Show returns at once.
class PosixMessageBox : public MessageBox {
public:
    PosixMessageBox();
    explicit PosixMessageBox(std::ostream& out) : out_(out) {}
    void Show(std::u16string_view prompt, int32_t style, std::u16string_view title) override;

private:
    std::ostream& out_;
};

}  // namespace murl
