#pragma once
#include "platform/message_box.h"

namespace murl {

class Win32MessageBox : public MessageBox {
public:
    void Show(std::u16string_view prompt, int32_t style, std::u16string_view title) override;
};

}  // namespace murl
