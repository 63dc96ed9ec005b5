#pragma once
// The IUnknown our COM objects share: a reference count that deletes the object when the last
// reference goes, and a QueryInterface that answers from the object's own interface table.
//
//     class Factory final : public ComObject<Factory, IClassFactory> {
//     public:
//         static constexpr Grant<Factory> kInterfaces[] = {
//             {&IID_IUnknown, Always<Factory, IClassFactory>},
//             {&IID_IClassFactory, Always<Factory, IClassFactory>},
//         };
//         ...
//
// A row grants its identifier with the interface its function returns; a row whose function
// returns null refuses it. The row for IID_IUnknown fixes the object's identity.

#include "platform/win32/windows_headers.h"

namespace murl::server {

template <class Derived>
struct Grant {
    const IID* iid;
    IUnknown* (*face)(Derived& object);
};

// The face for a row that always grants interface I.
template <class Derived, class I>
IUnknown* Always(Derived& object) noexcept {
    return static_cast<I*>(&object);
}

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
        return Answer(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const ULONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() noexcept = default;
    virtual ~ComObject() = default;

    // QueryInterface from the table; lets what a row's function throws through, for an object
    // whose rows can fail to answer it through its own guard.
    HRESULT Answer(REFIID iid, void** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        for (const Grant<Derived>& row : Derived::kInterfaces) {
            if (*row.iid != iid) continue;
            if (IUnknown* face = row.face(static_cast<Derived&>(*this))) {
                face->AddRef();
                *out = face;
                return S_OK;
            }
        }
        return E_NOINTERFACE;
    }

private:
    LONG refs_ = 1;
};

}  // namespace murl::server
