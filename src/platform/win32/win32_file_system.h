#pragma once
// The file-system component on Win32. Text files are Windows-1252 with CR LF line breaks.
// Read-only is the file attribute. Under Wine a privileged process may write such a file
// anyway, so every append, replacement and copy-over checks the attribute first and refuses
// with 70 "Permission denied", as the platform's component does. A folder or a device where a
// file is wanted refuses with 75, naming it. Paths of any length are accepted; a failed append
// leaves the file as it was when it was opened.

#include <string>

#include "platform/file_system.h"

namespace murl {

class Win32FileSystemFactory : public FileSystemFactory {
public:
    std::unique_ptr<FileSystem> Create() override;
};

namespace win32 {

// The folder holding what `path` names, as this component finds it: "." for a bare name, the
// root with its separator ("C:\\").
std::wstring FolderOf(const std::wstring& path);

}  // namespace win32

}  // namespace murl
