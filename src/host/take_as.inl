#pragma once
#include "host/error.h"

namespace murl {

template <class I>
std::shared_ptr<I> TakeAs(const std::shared_ptr<HostObject>& object) {
    if (!object) return nullptr;
    auto offered = std::dynamic_pointer_cast<I>(object->Query(I::kInterface));
    if (!offered) throw Error(err::kNotSupported);
    return offered;
}

}  // namespace murl
