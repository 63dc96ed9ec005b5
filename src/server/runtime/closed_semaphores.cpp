// The module's own CreateSemaphoreW and CloseHandle import cells: they keep every semaphore
// made through them and not yet closed, and close what is left when the module unloads.
//
// MinGW's static runtime makes semaphores it never closes: the lock of the unwinder's frame
// registry, made when the module's unwind tables are registered at load
// (__deregister_frame_info leaves it open), and another when the module first throws an
// exception, as a failing host call does. (A function-local static with a dynamic initialiser
// would add the lock of the runtime's initialisation guards.) Each would be a handle lost at
// every unload. The runtime reaches both functions through the module's import cells, which the
// module defines itself here.

#include "platform/win32/windows_headers.h"

#include <cstdlib>

#if !defined(__i386__)
// The cells' names below are those of 32-bit stdcall imports; another target would define
// cells nobody calls through and override nothing.
#error "closed_semaphores.cpp names 32-bit import cells only"
#endif

namespace {

using CloseHandleFunction = BOOL(WINAPI*)(HANDLE);

// Where the system's CloseHandle is looked up: the cell replaces the module's own import of it,
// so it is found by name. (Test builds name a module that lacks it, or a function of their own
// that counts the closes.)
#ifndef MURL_CLOSE_HANDLE_MODULE
#define MURL_CLOSE_HANDLE_MODULE L"kernel32.dll"
#endif
#ifndef MURL_CLOSE_HANDLE_NAME
#define MURL_CLOSE_HANDLE_NAME "CloseHandle"
#endif

// Closes where CloseHandle cannot be found. DuplicateHandle with no target closes the source
// handle, but reports a failure whatever happened: whether there was a handle to close is
// asked first.
BOOL WINAPI CloseThroughDuplicate(HANDLE handle) noexcept {
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags)) return FALSE;
    DuplicateHandle(GetCurrentProcess(), handle, nullptr, nullptr, 0, FALSE,
                    DUPLICATE_CLOSE_SOURCE);
    return TRUE;
}

// The system's CloseHandle, found once by whichever thread calls first.
INIT_ONCE g_found = INIT_ONCE_STATIC_INIT;
CloseHandleFunction g_close = CloseThroughDuplicate;

BOOL CALLBACK FindCloseHandle(PINIT_ONCE, PVOID, PVOID*) noexcept {
    if (const HMODULE system = GetModuleHandleW(MURL_CLOSE_HANDLE_MODULE)) {
        if (const FARPROC found = GetProcAddress(system, MURL_CLOSE_HANDLE_NAME)) {
            g_close = reinterpret_cast<CloseHandleFunction>(reinterpret_cast<void*>(found));
        }
    }
    return TRUE;
}

BOOL SystemClose(HANDLE handle) noexcept {
    InitOnceExecuteOnce(&g_found, FindCloseHandle, nullptr, nullptr);
    return g_close(handle);
}

// The semaphores made through the cell and not yet closed. The list lives on the process heap:
// the C runtime may be the caller, in the middle of making its own lock.
SRWLOCK g_lock = SRWLOCK_INIT;
HANDLE* g_open = nullptr;
size_t g_count = 0;
size_t g_room = 0;
bool g_release_registered = false;

// Room for one more in the list; false when the heap refuses.
bool MakeRoom() noexcept {
    if (g_count < g_room) return true;
    const size_t room = g_room ? 2 * g_room : 8;
    void* grown = g_open ? HeapReAlloc(GetProcessHeap(), 0, g_open, room * sizeof(HANDLE))
                         : HeapAlloc(GetProcessHeap(), 0, room * sizeof(HANDLE));
    if (!grown) return false;
    g_open = static_cast<HANDLE*>(grown);
    g_room = room;
    return true;
}

// Runs last: registered while the unwind tables are registered, before anything that runs
// at unload was.
void CloseLeftovers() noexcept {
    AcquireSRWLockExclusive(&g_lock);
    for (size_t i = 0; i < g_count; ++i) SystemClose(g_open[i]);
    if (g_open) HeapFree(GetProcessHeap(), 0, g_open);
    g_open = nullptr;
    g_count = g_room = 0;
    ReleaseSRWLockExclusive(&g_lock);
}

// CreateSemaphoreW is CreateSemaphoreExW with full access, which the module imports as usual.
// A semaphore the list has no room for is handed out all the same: a handle lost at unload
// rather than a lock the runtime cannot make.
HANDLE WINAPI KeptCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG most,
                                   LPCWSTR name) noexcept {
    const HANDLE made =
        CreateSemaphoreExW(attributes, initial, most, name, 0, SEMAPHORE_ALL_ACCESS);
    if (!made) return made;
    AcquireSRWLockExclusive(&g_lock);
    if (MakeRoom()) g_open[g_count++] = made;
    const bool first = !g_release_registered;
    g_release_registered = true;
    ReleaseSRWLockExclusive(&g_lock);
    if (first) std::atexit(CloseLeftovers);
    return made;
}

// A semaphore closed here leaves the list, so that unloading never closes its handle value
// again after the system has given it to someone else.
BOOL WINAPI KeptCloseHandle(HANDLE handle) noexcept {
    AcquireSRWLockExclusive(&g_lock);
    for (size_t i = 0; i < g_count; ++i) {
        if (g_open[i] == handle) {
            g_open[i] = g_open[--g_count];
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
    return SystemClose(handle);
}

}  // namespace

// The import cells the module's code calls through.
extern "C" {
extern void* const murl_import_create_semaphore asm("__imp__CreateSemaphoreW@16");
[[gnu::used]] void* const murl_import_create_semaphore =
    reinterpret_cast<void*>(&KeptCreateSemaphoreW);
extern void* const murl_import_close_handle asm("__imp__CloseHandle@4");
[[gnu::used]] void* const murl_import_close_handle = reinterpret_cast<void*>(&KeptCloseHandle);
}
