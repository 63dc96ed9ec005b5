// key_rights KEY read|full: lets everyone only read HKEY_CURRENT_USER\KEY (made when missing),
// as an administrator's policy may, or gives everyone full control of it back.

#include "platform/win32/windows_headers.h"

#include <sddl.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const bool read = std::wcscmp(argv[2], L"read") == 0;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, argv[1], 0, nullptr, 0, WRITE_DAC, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    PSECURITY_DESCRIPTOR rights = nullptr;
    LONG status = ERROR_INVALID_PARAMETER;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
            read ? L"D:P(A;;KR;;;WD)" : L"D:P(A;;KA;;;WD)", SDDL_REVISION_1, &rights, nullptr)) {
        status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, rights);
        LocalFree(rights);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 1;
}
