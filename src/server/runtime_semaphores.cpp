// The static C++ runtime linked into this module makes a semaphore it never closes: the lock
// of the exception unwinder's frame registry (a gthread mutex of the win32 thread model, made
// when the module's unwind tables are registered at load; __deregister_frame_info leaves it
// open). Every unload of the module would lose one handle. The runtime reaches CreateSemaphoreW
// and CloseHandle through the module's import cells, so the module defines those cells itself:
// it keeps the semaphores the runtime made and has not closed, and closes them after the
// module's last destructor and the unwinder's deregistration have run.

#include <cstdlib>

#include "platform/win32/windows_headers.h"

namespace {

using CreateSemaphoreFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
using CloseHandleFunction = BOOL(WINAPI*)(HANDLE);

constexpr int kMost = 32;  // the runtime makes two or three
SRWLOCK g_lock = SRWLOCK_INIT;
HANDLE g_open[kMost];
int g_count = 0;
bool g_release_registered = false;
CreateSemaphoreFunction g_create = nullptr;  // the system's own, found on first use
CloseHandleFunction g_close = nullptr;

template <class Function>
void Find(Function& function, const char* name) noexcept {
    if (function) return;
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

BOOL RealCloseHandle(HANDLE handle) noexcept {
    Find(g_close, "CloseHandle");
    return g_close(handle);
}

// Runs last: registered while the unwind tables are registered, before anything that runs
// at unload was.
void CloseLeftovers() noexcept {
    AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count; ++i) RealCloseHandle(g_open[i]);
    g_count = 0;
    ReleaseSRWLockExclusive(&g_lock);
}

HANDLE WINAPI KeptCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG most,
                                   LPCWSTR name) noexcept {
    Find(g_create, "CreateSemaphoreW");
    const HANDLE made = g_create(attributes, initial, most, name);
    if (!made) return made;
    AcquireSRWLockExclusive(&g_lock);
    if (g_count < kMost) g_open[g_count++] = made;
    const bool first = !g_release_registered;
    g_release_registered = true;
    ReleaseSRWLockExclusive(&g_lock);
    if (first) std::atexit(CloseLeftovers);
    return made;
}

BOOL WINAPI KeptCloseHandle(HANDLE handle) noexcept {
    AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count; ++i) {
        if (g_open[i] == handle) {
            g_open[i] = g_open[--g_count];
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
    return RealCloseHandle(handle);
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
