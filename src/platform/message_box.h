#pragma once
#include <cstdint>
#include <string_view>

namespace murl {

inline constexpr int32_t kMessageBoxInformation = 64;  // information icon, OK button

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Shows a modal message box and returns when the user has closed it.
    virtual void Show(std::u16string_view prompt, int32_t style, std::u16string_view title) = 0;
};

}  // namespace murl
