// A module that is not Murl's and records every time it runs: loading it, or asking it for a
// class, leaves "<its own path>.loaded" beside it. Registered in murl.dll's place, it shows
// whether a program ran code that it should only have judged.

#include <windows.h>

#include <string>

namespace {

HMODULE self = nullptr;

void Record(const char* what) {
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) return;
    const std::wstring marker = std::wstring(path, length) + L".loaded";
    HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, what, static_cast<DWORD>(strlen(what)), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        Record("DllMain\n");
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllGetClassObject(REFCLSID, REFIID, void** out) {
    Record("DllGetClassObject\n");
    if (out) *out = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
