// hold_file FILE STOP: holds FILE open for writing and shares it with no one, as an editor or a
// viewer may, until a file STOP appears (or a minute has passed). Says "held" once it holds it.

#include "platform/win32/windows_headers.h"

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const HANDLE file =
        CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::puts("held");
    std::fflush(stdout);
    for (int waited = 0; waited < 600 && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES;
         ++waited) {
        Sleep(100);
    }
    CloseHandle(file);
    return 0;
}
