#pragma once
// RAII holders for the COM resources the server touches: BSTR and VARIANT. COM pointers are
// held in Microsoft::WRL::ComPtr.

#include <wrl/client.h>

#include <new>
#include <string>
#include <string_view>

#include "platform/win32/windows_headers.h"

#include <oleauto.h>

namespace murl::server {

using Microsoft::WRL::ComPtr;

// Takes over the reference `raw` already carries. (MinGW's ComPtr::Attach adds one of its own,
// so it is not used.)
template <class T>
ComPtr<T> Adopt(T* raw) noexcept {
    ComPtr<T> held;
    *held.GetAddressOf() = raw;
    return held;
}

// Owns one BSTR; null stands for the empty text, as in COM.
class Bstr {
public:
    Bstr() noexcept = default;
    // Copies `text`; throws bad_alloc when the allocator refuses.
    explicit Bstr(std::u16string_view text) {
        if (text.size() > 0x7FFFFFFF / sizeof(OLECHAR)) throw std::bad_alloc();
        bstr_ = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                  static_cast<UINT>(text.size()));
        if (!bstr_) throw std::bad_alloc();
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(bstr_); }

    BSTR get() const noexcept { return bstr_; }
    // For out-parameters: frees the current text first.
    BSTR* out() noexcept {
        SysFreeString(bstr_);
        bstr_ = nullptr;
        return &bstr_;
    }
    // Hands the text to the caller.
    BSTR Detach() noexcept {
        BSTR b = bstr_;
        bstr_ = nullptr;
        return b;
    }
    std::u16string_view view() const noexcept { return View(bstr_); }

    // The text of a BSTR that someone else owns; null is the empty text.
    static std::u16string_view View(BSTR b) noexcept {
        if (!b) return {};
        return {reinterpret_cast<const char16_t*>(b), SysStringLen(b)};
    }

private:
    BSTR bstr_ = nullptr;
};

// Owns one VARIANT, cleared on destruction.
class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&v_); }

    VARIANT* get() noexcept { return &v_; }
    const VARIANT& operator*() const noexcept { return v_; }
    const VARIANT* operator->() const noexcept { return &v_; }

private:
    VARIANT v_;
};

}  // namespace murl::server
