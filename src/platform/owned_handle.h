#pragma once
// Owns one resource of the OS: a file handle or descriptor, a registry key, a string or a block of
// memory the system allocated. `Traits` tells its value type, its empty value and how it is
// freed (Close); a traits type whose release can fail says how in Fail, for Close() here.
//
//     struct KeyTraits {
//         using Value = HKEY;
//         static HKEY Empty() noexcept { return nullptr; }
//         static void Close(HKEY key) noexcept { RegCloseKey(key); }
//     };
//     OwnedHandle<KeyTraits> key;
//     RegOpenKeyExW(root, path, 0, KEY_READ, PutOut(key));
//
// Destruction frees quietly; Close() reports the outcome. PutOut(holder) is the one way to hand a
// holder to a call that fills an out-parameter: it frees what the holder had first.

#include <utility>

namespace murl {

template <typename Traits>
class OwnedHandle {
public:
    using Value = typename Traits::Value;

    OwnedHandle() noexcept : value_(Traits::Empty()) {}
    explicit OwnedHandle(Value value) noexcept : value_(value) {}
    OwnedHandle(OwnedHandle&& other) noexcept : value_(other.Detach()) {}
    // Frees what this holder had at once; `other` is left empty.
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        const Value taken = other.Detach();
        Free();
        value_ = taken;
        return *this;
    }
    ~OwnedHandle() { Free(); }

    Value get() const noexcept { return value_; }
    bool open() const noexcept { return value_ != Traits::Empty(); }
    // Hands the resource to the caller.
    Value Detach() noexcept { return std::exchange(value_, Traits::Empty()); }

    void Close() {
        if (!Traits::Close(Detach())) Traits::Fail();
    }

    friend Value* PutOut(OwnedHandle& held) noexcept {
        held.Free();
        return &held.value_;
    }

private:
    void Free() noexcept {
        if (open()) Traits::Close(Detach());
    }

    Value value_;
};

}  // namespace murl
