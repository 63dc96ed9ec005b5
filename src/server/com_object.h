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

#include <unknwn.h>

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

// The reference count of one of our COM objects (or host adapters), and the calls of its own
// that keep it alive. The module's objects live in the host's apartment: every call comes on the
// host's thread, so a call in progress is a plain count (every chat line takes several), while
// references, which the host may take and drop anywhere, stay atomic. The last reference going
// deletes the object or, while a call of its own is in progress, the end of the last such call
// does.
class Lifetime {
public:
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    // Keeps `object` alive while it lives, as a reference would; on the apartment's thread only.
    class Hold {
    public:
        explicit Hold(Lifetime& object) noexcept : object_(object) { ++object_.calls_; }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() {
            if (--object_.calls_ == 0 && object_.refs_ == 0) delete &object_;
        }

    private:
        Lifetime& object_;
    };

    // The deleter of a shared_ptr that holds the object's one reference.
    struct Drop {
        void operator()(Lifetime* object) const noexcept { object->Unreference(); }
    };

protected:
    Lifetime() noexcept = default;
    virtual ~Lifetime() = default;

    ULONG Reference() noexcept { return InterlockedIncrement(&refs_); }
    ULONG Unreference() noexcept {
        const ULONG left = InterlockedDecrement(&refs_);
        if (left == 0 && calls_ == 0) delete this;
        return left;
    }

private:
    LONG refs_ = 1;
    unsigned calls_ = 0;
};

template <class Derived, class... Interfaces>
class ComObject : public Interfaces..., public Lifetime {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
        return Answer(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return Reference(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return Unreference(); }

protected:
    ComObject() noexcept = default;
    ~ComObject() override = default;

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
};

}  // namespace murl::server
