// A module with the same CreateSemaphoreW and CloseHandle import cells as murl.dll
// (src/server/runtime/closed_semaphores.cpp is linked in), so that a test can make and close
// semaphores through them and then unload the module. The counting build closes through
// CellsCountedClose, which tells the test each handle it closes.

#include <windows.h>

extern "C" __declspec(dllexport) HANDLE CellsCreateSemaphore(const wchar_t* name) {
    return CreateSemaphoreW(nullptr, 0, 1, name);
}

extern "C" __declspec(dllexport) BOOL CellsCloseHandle(HANDLE handle) {
    return CloseHandle(handle);
}

namespace {
using Record = void (*)(HANDLE);
Record g_record = nullptr;
}  // namespace

// Every close from now on, the module's unload included, is told to `record`.
extern "C" __declspec(dllexport) void CellsRecordCloses(Record record) {
    g_record = record;
}

// The system's close, told first. (CloseHandle here would be the module's own cell again.)
extern "C" __declspec(dllexport) BOOL WINAPI CellsCountedClose(HANDLE handle) {
    if (g_record) g_record(handle);
    using Close = BOOL(WINAPI*)(HANDLE);
    const auto close = reinterpret_cast<Close>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CloseHandle")));
    return close(handle);
}
