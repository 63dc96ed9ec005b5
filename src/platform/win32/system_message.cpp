#include "platform/win32/system_message.h"

#include "platform/win32/win32_holders.h"

namespace murl::win32 {

std::u16string SystemMessage(DWORD code, std::optional<std::u16string_view> insert) {
    LocalMemory<wchar_t*> text;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(PutOut(text)), 0, nullptr);
    std::u16string message;
    if (length > 0 && text.get()) {
        message.assign(reinterpret_cast<const char16_t*>(text.get()), length);
    }
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' ||
                                message.back() == u' ' || message.back() == u'.')) {
        message.pop_back();
    }
    if (insert) FillInserts(message, *insert);
    return message;
}

bool FillInserts(std::u16string& text, std::u16string_view insert) {
    bool filled = false;
    for (size_t at = text.find(u"%1"); at != std::u16string::npos;
         at = text.find(u"%1", at + insert.size())) {
        text.replace(at, 2, insert);
        filled = true;
    }
    return filled;
}

}  // namespace murl::win32
