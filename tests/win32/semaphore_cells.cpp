// A module with the same CreateSemaphoreW and CloseHandle import cells as murl.dll
// (src/server/runtime/closed_semaphores.cpp is linked in), so that a test can make and close
// semaphores through them and then unload the module.

#include <windows.h>

extern "C" __declspec(dllexport) HANDLE CellsCreateSemaphore(const wchar_t* name) {
    return CreateSemaphoreW(nullptr, 0, 1, name);
}

extern "C" __declspec(dllexport) BOOL CellsCloseHandle(HANDLE handle) {
    return CloseHandle(handle);
}
