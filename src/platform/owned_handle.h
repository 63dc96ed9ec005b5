#pragma once
// Owns one handle of the OS; `Traits` tells its empty value, how it closes and how a failure to
// close is reported. Destruction closes quietly; Close() reports the outcome.

#include <utility>

namespace murl {

template <typename Traits>
class OwnedHandle {
public:
    using Value = typename Traits::Value;

    explicit OwnedHandle(Value value) noexcept : value_(value) {}
    OwnedHandle(OwnedHandle&& other) noexcept
        : value_(std::exchange(other.value_, Traits::Empty())) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() {
        if (open()) Traits::Close(value_);
    }

    Value get() const noexcept { return value_; }
    bool open() const noexcept { return value_ != Traits::Empty(); }

    void Close() {
        if (!Traits::Close(std::exchange(value_, Traits::Empty()))) Traits::Fail();
    }

private:
    Value value_;
};

}  // namespace murl
