#include "platform/win32/windows_headers.h"

#include "server/component_runtime.h"

#include <new>
#include <string>

#include "platform/win32/win32_app_info.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_text.h"
#include "server/com_errors.h"
#include "server/com_object.h"

#include <oleauto.h>

namespace murl::server {

using win32::ComPtr;
using win32::PutOut;
using win32::RegistryKey;

namespace {

// The cells of the module the runtime serves; set by RuntimeDllMain or the first request.
ModuleCells* g_cells = nullptr;

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    if (StringFromGUID2(guid, text, 40) == 0) throw std::bad_alloc();
    return text;
}

// The path of the module that serves the class: what registration writes and the type library is
// loaded from.
std::wstring ServerPath(HINSTANCE instance) {
    DWORD reason = 0;
    std::wstring path = win32::ModulePath(instance, &reason);
    if (path.empty()) throw Error(HRESULT_FROM_WIN32(reason), u"Cannot find the module");
    return path;
}

std::wstring ProgId(const ComponentDescription& d, const ClassRecord& c) {
    return std::wstring(d.library_name) + L"." + c.name;
}

// Creates (or opens) HKEY_CLASSES_ROOT\<path>.
RegistryKey CreateKey(const std::wstring& path) {
    RegistryKey key;
    const LONG status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, PutOut(key), nullptr);
    if (status != ERROR_SUCCESS)
        throw Error(HRESULT_FROM_WIN32(status), u"Cannot write the registry");
    return key;
}

void SetText(const RegistryKey& key, const wchar_t* name, const std::wstring& value) {
    const size_t bytes = (value.size() + 1) * sizeof(wchar_t);
    const LONG status =
        RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(bytes));
    if (status != ERROR_SUCCESS)
        throw Error(HRESULT_FROM_WIN32(status), u"Cannot write the registry");
}

// HKEY_CLASSES_ROOT\<path>, created when missing, with its default value `value`.
void SetDefault(const std::wstring& path, const std::wstring& value) {
    SetText(CreateKey(path), nullptr, value);
}

void DeleteTree(const std::wstring& path) {
    const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        throw Error(HRESULT_FROM_WIN32(status), u"Cannot write the registry");
    }
}

// Deletes HKEY_CLASSES_ROOT\<path> when it has no subkey left.
void DeleteEmptyKey(const std::wstring& path) {
    const LONG status = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND &&
        status != ERROR_ACCESS_DENIED) {
        throw Error(HRESULT_FROM_WIN32(status), u"Cannot write the registry");
    }
}

void RegisterClass(const ComponentDescription& d, const ClassRecord& c,
                   const std::wstring& module) {
    const std::wstring clsid = GuidText(*c.clsid);
    const std::wstring progid = ProgId(d, c);
    const std::wstring class_key = L"CLSID\\" + clsid;

    SetDefault(progid, progid);
    SetDefault(progid + L"\\Clsid", clsid);

    SetDefault(class_key, progid);
    // COM makes the class a TreatAs names in this one's place, and a reset of that emulation
    // writes AutoTreatAs back into TreatAs: registering makes the class this one again.
    DeleteTree(class_key + L"\\TreatAs");
    DeleteTree(class_key + L"\\AutoTreatAs");
    const RegistryKey server = CreateKey(class_key + L"\\InprocServer32");
    SetText(server, nullptr, module);
    SetText(server, L"ThreadingModel", d.threading_model);
    SetDefault(class_key + L"\\ProgID", progid);
    SetDefault(class_key + L"\\TypeLib", GuidText(*d.libid));
    SetDefault(class_key + L"\\VERSION",
               win32::WideDecimal(d.libid_major) + L"." + win32::WideDecimal(d.libid_minor));
}

class ClassFactory final : public ComObject<ClassFactory, IClassFactory>, private ModuleObject {
public:
    static constexpr Grant<ClassFactory> kInterfaces[] = {
        {&IID_IUnknown, Always<ClassFactory, IClassFactory>},
        {&IID_IClassFactory, Always<ClassFactory, IClassFactory>},
    };

    explicit ClassFactory(const ClassRecord& record) noexcept : record_(record) {}

    // The host creates an object of the class.
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return record_.create(iid, out);
    }

    // The host keeps the module loaded, or lets it go.
    STDMETHODIMP LockServer(BOOL lock) noexcept override {
        if (!g_cells) return E_UNEXPECTED;
        if (lock) {
            InterlockedIncrement(&g_cells->locks);
        } else if (InterlockedDecrement(&g_cells->locks) < 0) {
            InterlockedIncrement(&g_cells->locks);
            return E_UNEXPECTED;
        }
        return S_OK;
    }

private:
    const ClassRecord& record_;
};

const ClassRecord* FindClass(const ComponentDescription& d, REFCLSID clsid) noexcept {
    for (size_t i = 0; i < d.class_count; ++i) {
        if (*d.classes[i].clsid == clsid) return &d.classes[i];
    }
    return nullptr;
}

}  // namespace

void ObjectCreated() noexcept {
    if (g_cells) InterlockedIncrement(&g_cells->objects);
}

void ObjectDestroyed() noexcept {
    if (g_cells) InterlockedDecrement(&g_cells->objects);
}

HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) noexcept {
    if (!info) return E_POINTER;
    *info = nullptr;
    return Guard([&] {
        if (!g_cells) return E_UNEXPECTED;
        ComPtr<ITypeLib> library;
        Check(LoadTypeLibEx(ServerPath(g_cells->instance).c_str(), REGKIND_NONE, PutOut(library)));
        return library->GetTypeInfoOfGuid(guid, info);
    });
}

BOOL RuntimeDllMain(ModuleCells& cells, HINSTANCE instance, DWORD reason) noexcept {
    if (reason == DLL_PROCESS_ATTACH) {
        cells.instance = instance;
        g_cells = &cells;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT RuntimeGetClassObject(const ComponentDescription& d, ModuleCells& cells, REFCLSID clsid,
                              REFIID iid, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    g_cells = &cells;
    const ClassRecord* record = FindClass(d, clsid);
    if (!record) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ClassFactory(*record);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}

HRESULT RuntimeCanUnloadNow(const ModuleCells& cells) noexcept {
    return cells.objects == 0 && cells.locks == 0 ? S_OK : S_FALSE;
}

HRESULT RuntimeRegisterServer(const ComponentDescription& d, const ModuleCells& cells) noexcept {
    return Guard([&] {
        const std::wstring module = ServerPath(cells.instance);
        ComPtr<ITypeLib> library;
        Check(LoadTypeLibEx(module.c_str(), REGKIND_NONE, PutOut(library)));
        std::wstring help_folder;
        Check(RegisterTypeLib(library.Get(), const_cast<LPOLESTR>(module.c_str()),
                              help_folder.data()));
        // Some registrars record the loader's own has-disk-image mark as a library flag; the
        // library itself carries none.
        TLIBATTR* attr = nullptr;
        Check(library->GetLibAttr(&attr));
        const WORD flags = attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE;
        library->ReleaseTLibAttr(attr);
        SetDefault(L"TypeLib\\" + GuidText(*d.libid) + L"\\" + win32::WideDecimal(d.libid_major) +
                       L"." + win32::WideDecimal(d.libid_minor) + L"\\FLAGS",
                   win32::WideDecimal(flags));
        for (size_t i = 0; i < d.class_count; ++i) RegisterClass(d, d.classes[i], module);
        return S_OK;
    });
}

// Removing what is already gone succeeds. The platform's type-library registrar fails when the
// library's key is missing, with a status that differs between platforms; the module then
// removes the library's entries itself, and only a failure to remove one that is present
// is reported.
HRESULT RuntimeUnregisterServer(const ComponentDescription& d) noexcept {
    return Guard([&] {
        for (size_t i = 0; i < d.class_count; ++i) {
            const ClassRecord& c = d.classes[i];
            DeleteTree(L"CLSID\\" + GuidText(*c.clsid));
            DeleteTree(ProgId(d, c));
        }
        const HRESULT hr =
            UnRegisterTypeLib(*d.libid, d.libid_major, d.libid_minor, d.libid_locale, SYS_WIN32);
        if (SUCCEEDED(hr)) return S_OK;
        const std::wstring library = L"TypeLib\\" + GuidText(*d.libid);
        DeleteTree(library + L"\\" + win32::WideDecimal(d.libid_major) + L"." +
                   win32::WideDecimal(d.libid_minor));
        DeleteEmptyKey(library);
        for (size_t i = 0; i < d.class_count; ++i) {
            DeleteTree(L"Interface\\" + GuidText(*d.classes[i].default_interface));
        }
        return S_OK;
    });
}

}  // namespace murl::server
