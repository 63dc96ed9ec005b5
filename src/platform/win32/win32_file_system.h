#pragma once
// The file-system component on Win32. Text files are Windows-1252 with CR LF line breaks.
// Read-only is the file attribute. Under Wine a privileged process may write such a file
// anyway, so every append, replacement and copy-over checks the attribute first and refuses
// with 70 "Permission denied", as the platform's component does.

#include "platform/file_system.h"

namespace murl {

class Win32FileSystemFactory : public FileSystemFactory {
public:
    std::unique_ptr<FileSystem> Create() override;
};

}  // namespace murl
