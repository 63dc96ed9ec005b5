#pragma once
// The system calls of the POSIX file layer, reached through one table so that tests can make
// any of them fail, write short or be interrupted.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "platform/call_table.h"

namespace murl::posix {

struct SystemCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    ssize_t (*write)(int fd, const void* bytes, size_t size);
    int (*ftruncate)(int fd, off_t length);
    int (*fstat)(int fd, struct stat* info);
    int (*close)(int fd);
    int (*stat)(const char* path, struct stat* info);
    int (*mkdir)(const char* path, mode_t mode);
    int (*chmod)(const char* path, mode_t mode);
    ssize_t (*read)(int fd, void* bytes, size_t size);
    int (*mkostemp)(char* name, int flags);
    int (*fchmod)(int fd, mode_t mode);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*flock)(int fd, int operation);
    int (*lock_range)(int fd, int command, struct flock* range);  // fcntl(2) with a lock command
};

extern CallTable<SystemCalls> system_calls;

}  // namespace murl::posix
