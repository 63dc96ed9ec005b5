// The module's own CreateSemaphoreW and CloseHandle import cells: they keep every semaphore
// made through them and not yet closed, and close what is left when the module unloads.
//
// MinGW's static runtime makes semaphores it never closes: one at load, the lock of the
// unwinder's frame registry (made when the module's unwind tables are registered;
// __deregister_frame_info leaves it open), and one more when the module first throws an
// exception, as a failing host call does: two after a whole session. (A function-local static
// with a dynamic initialiser would add a third, the lock of the runtime's initialisation
// guards.) Each would be a handle lost at every unload. The runtime reaches both functions
// through the module's import cells, which the module defines itself here.

#include <cstdlib>

#include "platform/win32/windows_headers.h"

#if !defined(__i386__)
// The cells' names below are those of 32-bit stdcall imports; another target would define
// cells nobody calls through and override nothing.
#error "closed_semaphores.cpp names 32-bit import cells only"
#endif

namespace {

using CreateSemaphoreFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
using CloseHandleFunction = BOOL(WINAPI*)(HANDLE);

// The system's own functions, found once by whichever thread calls first.
struct SystemFunctions {
    CreateSemaphoreFunction create = nullptr;
    CloseHandleFunction close = nullptr;
};
INIT_ONCE g_found = INIT_ONCE_STATIC_INIT;
SystemFunctions g_system;

template <class Function>
Function Find(HMODULE kernel, const char* name) noexcept {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

BOOL CALLBACK FindSystemFunctions(PINIT_ONCE, PVOID, PVOID*) noexcept {
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    g_system.create = Find<CreateSemaphoreFunction>(kernel, "CreateSemaphoreW");
    g_system.close = Find<CloseHandleFunction>(kernel, "CloseHandle");
    return TRUE;
}

const SystemFunctions& System() noexcept {
    InitOnceExecuteOnce(&g_found, FindSystemFunctions, nullptr, nullptr);
    return g_system;
}

constexpr int kMost = 32;  // far more than the runtime makes
SRWLOCK g_lock = SRWLOCK_INIT;
HANDLE g_open[kMost];
int g_count = 0;
bool g_release_registered = false;

// Runs last: registered while the unwind tables are registered, before anything that runs
// at unload was.
void CloseLeftovers() noexcept {
    AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count; ++i) System().close(g_open[i]);
    g_count = 0;
    ReleaseSRWLockExclusive(&g_lock);
}

HANDLE WINAPI KeptCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG most,
                                   LPCWSTR name) noexcept {
    const HANDLE made = System().create(attributes, initial, most, name);
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
    return System().close(handle);
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
