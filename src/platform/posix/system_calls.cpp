#include "platform/posix/system_calls.h"

#include <fcntl.h>
#include <unistd.h>

namespace murl {

namespace {

int Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

constexpr SystemCalls kReal = {Open, ::write, ::ftruncate, ::fstat, ::close};
SystemCalls current = kReal;

}  // namespace

SystemCalls& Sys() noexcept {
    return current;
}

const SystemCalls& RealSystemCalls() noexcept {
    return kReal;
}

}  // namespace murl
