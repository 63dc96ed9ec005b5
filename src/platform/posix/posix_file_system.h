#pragma once
// The file-system component on POSIX. Paths are UTF-16 text, handed to the OS as UTF-8.
// Text files are written as Windows-1252 with CR LF line breaks. A file is read-only when it
// has no write permission bit at all; since root may write such a file anyway, every append,
// replacement and copy-over checks the bits first and refuses with 70 "Permission denied".

#include "platform/file_system.h"

namespace murl {

class PosixFileSystemFactory : public FileSystemFactory {
public:
    std::unique_ptr<FileSystem> Create() override;
};

}  // namespace murl
