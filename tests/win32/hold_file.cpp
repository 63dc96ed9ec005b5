// hold_file FILE STOP: holds FILE open for writing and shares it with no one, as an editor or a
// viewer may, until a file STOP appears (or a minute has passed). Says "held" once it holds it.
// hold_file --plugin STOP: creates murl.clsMurl as the game does (COM loads murl.dll into this
// process) and keeps it until STOP appears: the game running while Murl is upgraded or removed.

#include "platform/win32/windows_headers.h"

#include <objbase.h>

#include <cstdio>
#include <cwchar>

namespace {

void WaitFor(const wchar_t* stop) {
    for (int waited = 0; waited < 600 && GetFileAttributesW(stop) == INVALID_FILE_ATTRIBUTES;
         ++waited) {
        Sleep(100);
    }
}

void SayHeld() {
    std::puts("held");
    std::fflush(stdout);
}

int HoldFile(const wchar_t* path, const wchar_t* stop) {
    const HANDLE file =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    SayHeld();
    WaitFor(stop);
    CloseHandle(file);
    return 0;
}

int HoldPlugin(const wchar_t* stop) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    CLSID clsid{};
    IUnknown* plugin = nullptr;
    if (FAILED(CLSIDFromProgID(L"murl.clsMurl", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&plugin)))) {
        CoUninitialize();
        return 1;
    }
    SayHeld();
    WaitFor(stop);
    plugin->Release();
    CoUninitialize();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    if (std::wcscmp(argv[1], L"--plugin") == 0) return HoldPlugin(argv[2]);
    return HoldFile(argv[1], argv[2]);
}
