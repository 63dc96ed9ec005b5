#pragma once
// The one family of holders for the Windows resources the module, the simulator and the Windows
// tests touch: COM pointers (Microsoft::WRL::ComPtr, with Adopt and PutOut), registry keys,
// BSTRs, VARIANTs, the texts of an EXCEPINFO and memory the system allocated for the caller. Each
// frees what it holds when it goes.

#include <wrl/client.h>

#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32/windows_headers.h"

#include <oleauto.h>

namespace murl::win32 {

using Microsoft::WRL::ComPtr;

// Takes over the reference `raw` already carries. (MinGW's ComPtr::Attach adds one of its own,
// so it is not used.)
template <class T>
ComPtr<T> Adopt(T* raw) noexcept {
    ComPtr<T> held;
    *held.GetAddressOf() = raw;
    return held;
}

// `held` as the untyped out-parameter of QueryInterface, CreateInstance and their kin; what it
// held before is released first.
template <class T>
void** PutOut(ComPtr<T>& held) noexcept {
    return reinterpret_cast<void**>(held.ReleaseAndGetAddressOf());
}

// Owns one open registry key.
class RegistryKey {
public:
    RegistryKey() noexcept = default;
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        std::swap(key_, other.key_);
        return *this;
    }
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }

    HKEY get() const noexcept { return key_; }
    // For the out-parameter of RegOpenKeyExW and RegCreateKeyExW: closes the current key first.
    HKEY* out() noexcept {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
        return &key_;
    }

private:
    HKEY key_ = nullptr;
};

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
    Bstr(Bstr&& other) noexcept : bstr_(other.Detach()) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(bstr_, other.bstr_);
        return *this;
    }
    ~Bstr() { SysFreeString(bstr_); }

    BSTR get() const noexcept { return bstr_; }
    // For out-parameters: frees the current text first.
    BSTR* out() noexcept {
        SysFreeString(bstr_);
        bstr_ = nullptr;
        return &bstr_;
    }
    // Hands the text to the caller.
    BSTR Detach() noexcept { return std::exchange(bstr_, nullptr); }
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

// Arguments for IDispatch::Invoke. A text owns a new BSTR, which VariantClear frees; a
// by-reference flag points at the caller's.
inline VARIANT TextVariant(std::u16string_view text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = Bstr(text).Detach();
    return v;
}
inline VARIANT LongVariant(LONG value) noexcept {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}
inline VARIANT BoolVariant(VARIANT_BOOL value) noexcept {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value;
    return v;
}
inline VARIANT BoolRefVariant(VARIANT_BOOL* flag) noexcept {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&v) = flag;
    return v;
}
inline void ClearVariants(std::vector<VARIANT>& args) noexcept {
    for (VARIANT& v : args) VariantClear(&v);
}

// An EXCEPINFO to hand to IDispatch::Invoke; frees the texts the callee filled in.
class ExcepInfo {
public:
    ExcepInfo() noexcept = default;
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }

    EXCEPINFO* get() noexcept { return &info_; }
    EXCEPINFO* operator->() noexcept { return &info_; }

private:
    EXCEPINFO info_{};
};

// Owns memory the system allocated for the caller with LocalAlloc: FormatMessageW's text,
// CommandLineToArgvW's array. `Pointer` is the pointer type the call hands back.
template <class Pointer>
class LocalMemory {
public:
    LocalMemory() noexcept = default;
    explicit LocalMemory(Pointer p) noexcept : p_(p) {}
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() { LocalFree(p_); }

    Pointer get() const noexcept { return p_; }
    // For FORMAT_MESSAGE_ALLOCATE_BUFFER: frees the current memory first.
    Pointer* out() noexcept {
        LocalFree(p_);
        p_ = nullptr;
        return &p_;
    }

private:
    Pointer p_ = nullptr;
};

}  // namespace murl::win32
