#include "platform/posix/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace murl::posix {

namespace {

int Open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

int Stat(const char* path, struct stat* info) {
    return ::stat(path, info);
}

int LockRange(int fd, int command, struct flock* range) {
    return ::fcntl(fd, command, range);
}

}  // namespace

constinit CallTable<SystemCalls> system_calls({Open, ::write, ::ftruncate, ::fstat, ::close, Stat,
                                               ::mkdir, ::chmod, ::read, ::mkostemp, ::fchmod,
                                               ::rename, ::unlink, ::flock, LockRange});

}  // namespace murl::posix
