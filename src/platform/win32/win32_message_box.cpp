#include "platform/win32/windows_headers.h"

#include "platform/win32/win32_message_box.h"

#include "platform/win32/win32_text.h"

namespace murl {

void Win32MessageBox::Show(std::u16string_view prompt, int32_t style, std::u16string_view title) {
    MessageBoxW(nullptr, win32::Wide(prompt).c_str(), win32::Wide(title).c_str(),
                static_cast<UINT>(style) | MB_SETFOREGROUND);
}

}  // namespace murl
