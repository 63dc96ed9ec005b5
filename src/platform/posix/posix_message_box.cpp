#include "platform/posix/posix_message_box.h"

#include <iostream>

#include "text/text.h"

namespace murl {

PosixMessageBox::PosixMessageBox() : out_(std::cerr) {}

void PosixMessageBox::Show(std::u16string_view prompt, int32_t, std::u16string_view title) {
    out_ << '[' << ToUtf8(title) << "] " << ToUtf8(prompt) << std::endl;
}

}  // namespace murl
