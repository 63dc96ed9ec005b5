// murl.dll: the module's description and its four exports. Each export hands the description
// to the component runtime and returns its answer unchanged.

#include "platform/win32/windows_headers.h"

#include <olectl.h>

#include "server/cls_murl_object.h"
#include "server/component_runtime.h"
#include "server/identity.h"

namespace {

using namespace murl::server;

constexpr ClassRecord kClasses[] = {
    {kClassName, &kClsidClsMurl, &kIidClsMurl, &ClsMurlObject::Create},
};

constexpr ComponentDescription kDescription = {
    kLibraryName, &kLibId, kLibMajor, kLibMinor, 0, kThreadingModel, kClasses, std::size(kClasses),
};

ModuleCells g_cells;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    return RuntimeDllMain(g_cells, instance, reason);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return RuntimeGetClassObject(kDescription, g_cells, clsid, iid, out);
}

STDAPI DllCanUnloadNow() {
    return RuntimeCanUnloadNow(g_cells);
}

STDAPI DllRegisterServer() {
    return RuntimeRegisterServer(kDescription, g_cells);
}

STDAPI DllUnregisterServer() {
    return RuntimeUnregisterServer(kDescription);
}
