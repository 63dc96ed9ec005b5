#pragma once
// The holders of the Windows resources the module, the simulator and the Windows tests touch.
// Handles, registry keys, BSTRs and memory the system allocated for the caller are
// OwnedHandle's, each with its traits here. COM pointers are Microsoft::WRL::ComPtr (counted,
// so copied with AddRef: not a single owner as OwnedHandle is); a VARIANT and an EXCEPINFO are
// structures the callee fills in, with holders of their own. Every one of them is handed to a
// call that fills it in as PutOut(holder), which frees what the holder had first.

#include "platform/win32/windows_headers.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/owned_handle.h"

namespace murl::win32 {

using Microsoft::WRL::ComPtr;

// A ComPtr as the out-parameter of QueryInterface, CreateInstance and their kin, typed or
// untyped.
template <class T>
class ComOut {
public:
    explicit ComOut(ComPtr<T>& held) noexcept : slot_(held.ReleaseAndGetAddressOf()) {}
    operator T**() const noexcept { return slot_; }
    operator void**() const noexcept { return reinterpret_cast<void**>(slot_); }

private:
    T** slot_;
};

template <class T>
ComOut<T> PutOut(ComPtr<T>& held) noexcept {
    return ComOut<T>(held);
}

// Takes over the reference `raw` already carries. (MinGW's ComPtr::Attach adds one of its own,
// so it is not used.)
template <class T>
ComPtr<T> Adopt(T* raw) noexcept {
    ComPtr<T> held;
    T** slot = PutOut(held);
    *slot = raw;
    return held;
}

// The traits below are alike by design: each is one row of the holder family, a handle's
// type, its empty value and how it is closed.
struct RegistryKeyTraits {
    using Value = HKEY;
    static HKEY Empty() noexcept { return nullptr; }
    static void Close(HKEY key) noexcept { RegCloseKey(key); }
};
// One open registry key.
using RegistryKey = OwnedHandle<RegistryKeyTraits>;

struct BstrTraits {
    using Value = BSTR;
    static BSTR Empty() noexcept { return nullptr; }
    static void Close(BSTR text) noexcept { SysFreeString(text); }
};
// One BSTR; null stands for the empty text, as in COM.
using Bstr = OwnedHandle<BstrTraits>;

// A new BSTR holding a copy of `text`; throws bad_alloc when the allocator refuses.
inline Bstr BstrOf(std::u16string_view text) {
    if (text.size() > 0x7FFFFFFF / sizeof(OLECHAR)) throw std::bad_alloc();
    Bstr made(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                static_cast<UINT>(text.size())));
    if (!made.open()) throw std::bad_alloc();
    return made;
}

// The text of a BSTR, held or someone else's; null is the empty text.
inline std::u16string_view TextOf(BSTR b) noexcept {
    if (!b) return {};
    return {reinterpret_cast<const char16_t*>(b), SysStringLen(b)};
}
inline std::u16string_view TextOf(const Bstr& held) noexcept {
    return TextOf(held.get());
}

struct FileHandleTraits {
    using Value = HANDLE;
    static HANDLE Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) noexcept { CloseHandle(handle); }
};
// One file CreateFileW opened.
using FileHandle = OwnedHandle<FileHandleTraits>;

struct FindHandleTraits {
    using Value = HANDLE;
    static HANDLE Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) noexcept { FindClose(handle); }
};
// One listing of a folder FindFirstFileW began.
using FindHandle = OwnedHandle<FindHandleTraits>;

template <class Pointer>
struct LocalMemoryTraits {
    using Value = Pointer;
    static Pointer Empty() noexcept { return nullptr; }
    static void Close(Pointer p) noexcept { LocalFree(p); }
};
// Memory the system allocated for the caller with LocalAlloc: FormatMessageW's text,
// CommandLineToArgvW's array. `Pointer` is the pointer type the call hands back.
template <class Pointer>
using LocalMemory = OwnedHandle<LocalMemoryTraits<Pointer>>;

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

    friend VARIANT* PutOut(Variant& held) noexcept {
        VariantClear(&held.v_);
        return &held.v_;
    }

private:
    VARIANT v_;
};

// Arguments for IDispatch::Invoke. A text owns a new BSTR, which VariantClear frees; a
// by-reference flag points at the caller's.
// An argument of `type`, its value still to be set.
inline VARIANT VariantOfType(VARTYPE type) noexcept {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    return v;
}
inline VARIANT TextVariant(std::u16string_view text) {
    VARIANT v = VariantOfType(VT_BSTR);
    V_BSTR(&v) = BstrOf(text).Detach();
    return v;
}
inline VARIANT LongVariant(LONG value) noexcept {
    VARIANT v = VariantOfType(VT_I4);
    V_I4(&v) = value;
    return v;
}
inline VARIANT BoolVariant(VARIANT_BOOL value) noexcept {
    VARIANT v = VariantOfType(VT_BOOL);
    V_BOOL(&v) = value;
    return v;
}
inline VARIANT BoolRefVariant(VARIANT_BOOL* flag) noexcept {
    VARIANT v = VariantOfType(VT_BOOL | VT_BYREF);
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
    ~ExcepInfo() { Free(); }

    EXCEPINFO* get() noexcept { return &info_; }
    EXCEPINFO* operator->() noexcept { return &info_; }

    friend EXCEPINFO* PutOut(ExcepInfo& held) noexcept {
        held.Free();
        held.info_ = EXCEPINFO{};
        return &held.info_;
    }

private:
    void Free() noexcept {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }

    EXCEPINFO info_{};
};

}  // namespace murl::win32
