#pragma once
// A small component runtime: what an in-process server's exports hand their work to. The
// module describes itself once, in a static read-only ComponentDescription; the runtime makes
// class factories from it, counts objects and factory locks for DllCanUnloadNow, and registers
// and unregisters the classes and the type library.

#include <cstddef>

#include "platform/win32/windows_headers.h"

#include <oaidl.h>

namespace murl::server {

struct ClassRecord {
    const wchar_t* name;  // class name; the ProgID is "<library>.<name>"
    const CLSID* clsid;
    const IID* default_interface;
    // Makes a new object and answers it in `iid`; the object counts itself (ObjectCreated).
    HRESULT (*create)(REFIID iid, void** out);
};

struct ComponentDescription {
    const wchar_t* library_name;
    const GUID* libid;
    WORD libid_major;
    WORD libid_minor;
    LCID libid_locale;
    const wchar_t* threading_model;
    const ClassRecord* classes;
    size_t class_count;
};

// The module-wide cells the runtime keeps its state in.
struct ModuleCells {
    HINSTANCE instance = nullptr;
    LONG objects = 0;  // live objects and factories
    LONG locks = 0;    // IClassFactory::LockServer
};

BOOL RuntimeDllMain(ModuleCells& cells, HINSTANCE instance, DWORD reason) noexcept;
HRESULT RuntimeGetClassObject(const ComponentDescription& description, ModuleCells& cells,
                              REFCLSID clsid, REFIID iid, void** out) noexcept;
HRESULT RuntimeCanUnloadNow(const ModuleCells& cells) noexcept;
HRESULT RuntimeRegisterServer(const ComponentDescription& description,
                              const ModuleCells& cells) noexcept;
HRESULT RuntimeUnregisterServer(const ComponentDescription& description) noexcept;

// Every object the module hands out (objects of its classes, factories, event sinks) counts
// itself while it lives, so that DllCanUnloadNow keeps the module loaded until the last one goes.
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;

// A base that does that counting for its object.
class ModuleObject {
public:
    ModuleObject(const ModuleObject&) = delete;
    ModuleObject& operator=(const ModuleObject&) = delete;

protected:
    ModuleObject() noexcept { ObjectCreated(); }
    ~ModuleObject() { ObjectDestroyed(); }
};

// The type information for `guid` from the module's own type library, loaded from the
// module's file without registering it.
HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) noexcept;

}  // namespace murl::server
