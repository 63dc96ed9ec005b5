#include "platform/win32/windows_headers.h"

#include "sim/com_binding.h"

#include <ocidl.h>
#include <olectl.h>

#include <new>

#include "text/text.h"
#include "host_idl.h"
#include "platform/win32/system_message.h"
#include "platform/win32/win32_app_info.h"
#include "platform/win32/win32_holders.h"
#include "platform/win32/win32_text.h"
#include "server/com_errors.h"
#include "server/identity.h"
#include "sim/com_host_face.h"

namespace murl::sim {

using win32::Adopt;
using win32::ComPtr;
using win32::PutOut;

namespace {

// The system's text for `code`. Its inserts (a "%1" for the file) are left for us to fill.
std::u16string SystemText(DWORD code) {
    std::u16string description = win32::SystemMessage(code);
    if (description.empty()) description = u"system error " + DecimalText(code);
    return description;
}

// A DLL that could not be used, named, with the system's reason.
[[noreturn]] void ThrowUnusable(const std::u16string& dll, const std::u16string& what, HRESULT hr,
                                std::u16string reason) {
    const std::u16string named = u"\"" + dll + u"\"";
    const bool reason_names_it = win32::FillInserts(reason, named);
    const std::u16string description =
        u"cannot " + what + (reason_names_it ? std::u16string() : u" " + named) + u": ";
    throw Error(server::ErrorOfHResult(hr), description + reason);
}

// COM on this thread while it lives, so that a binding that fails half-way leaves the thread
// as it found it.
class Apartment {
public:
    Apartment() {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr)) server::ThrowHostFailure(hr);
    }
    ~Apartment() { CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
};

constexpr wchar_t kProgId[] = L"murl.clsMurl";

// The file registered to serve `clsid` in process, as the registry holds it; empty when none is.
std::wstring RegisteredServer(const CLSID& clsid) {
    wchar_t text[39];
    if (StringFromGUID2(clsid, text, 39) == 0) return {};
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    constexpr DWORD kText = RRF_RT_REG_SZ;  // REG_EXPAND_SZ too, expanded
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        size *= sizeof(wchar_t);
        const LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, kText, nullptr,
                                            path.data(), &size);
        if (status == ERROR_MORE_DATA) {
            path.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) return {};
        path.resize(path.find(L'\0'));
        return path;
    }
}

// clsMurl's class factory through its registration. COM does not say why a registered DLL
// cannot be loaded, so a failure loads the DLL itself to name the system's reason.
ComPtr<IClassFactory> RegisteredFactory() {
    CLSID clsid;
    const HRESULT found = CLSIDFromProgID(kProgId, &clsid);
    if (FAILED(found)) {
        throw Error(server::ErrorOfHResult(found),
                    u"murl.clsMurl is not registered: register murl.dll (regsvr32 murl.dll), or "
                    u"give its path with --dll");
    }
    ComPtr<IClassFactory> factory;
    const HRESULT hr =
        CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, PutOut(factory));
    if (SUCCEEDED(hr)) return factory;
    const std::wstring server = RegisteredServer(clsid);
    if (server.empty()) {
        throw Error(server::ErrorOfHResult(hr),
                    u"murl.clsMurl is registered without its DLL: register murl.dll again "
                    u"(regsvr32 murl.dll), or give its path with --dll");
    }
    const std::u16string dll = win32::Utf16(server);
    HMODULE module = LoadLibraryW(server.c_str());
    if (!module) {
        const DWORD code = GetLastError();
        ThrowUnusable(dll, u"load", HRESULT_FROM_WIN32(code), SystemText(code));
    }
    FreeLibrary(module);
    ThrowUnusable(dll, u"create the plug-in from", hr,
                  hr == REGDB_E_CLASSNOTREG || hr == CLASS_E_CLASSNOTAVAILABLE
                      ? u"it does not serve clsMurl"
                      : SystemText(static_cast<DWORD>(hr)));
}

}  // namespace

struct ComBinding::State {
    Apartment apartment;  // first: ends after everything COM handed out
    HMODULE dll = nullptr;
    ComPtr<IClassFactory> factory;
    ComPtr<IPlugin2> plugin;
};

ComBinding::ComBinding(const std::u16string& dll) : state_(std::make_unique<State>()) {
    if (dll.empty()) {
        state_->factory = RegisteredFactory();
        return;
    }
    const std::wstring path(dll.begin(), dll.end());
    state_->dll = LoadLibraryW(path.c_str());
    if (!state_->dll) {
        const DWORD code = GetLastError();
        ThrowUnusable(dll, u"load", HRESULT_FROM_WIN32(code), SystemText(code));
    }
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(state_->dll, "DllGetClassObject")));
    if (!get) {
        ThrowUnusable(dll, u"use", HRESULT_FROM_WIN32(GetLastError()),
                      u"it has no DllGetClassObject: it is not a component server");
    }
    const HRESULT got = get(server::kClsidClsMurl, IID_IClassFactory, PutOut(state_->factory));
    if (FAILED(got)) {
        ThrowUnusable(dll, u"create the plug-in from", got,
                      got == CLASS_E_CLASSNOTAVAILABLE ? u"it does not serve clsMurl"
                                                       : SystemText(static_cast<DWORD>(got)));
    }
}

ComBinding::~ComBinding() {
    state_->plugin.Reset();
    state_->factory.Reset();
    // The DLL stays loaded: COM may still hold what it handed out until CoUninitialize, which
    // the state's apartment calls last.
}

void ComBinding::Create() {
    state_->plugin.Reset();
    SetErrorInfo(0, nullptr);
    server::Check(state_->factory->CreateInstance(nullptr, IID_IPlugin2, PutOut(state_->plugin)));
}

void ComBinding::Destroy() noexcept {
    state_->plugin.Reset();
}

bool ComBinding::Exists() const noexcept {
    return state_->plugin != nullptr;
}

std::u16string ComBinding::ModuleFolder() const {
    // The class factory's table of methods lies in the module that serves the class.
    const auto code = *reinterpret_cast<const wchar_t* const*>(state_->factory.Get());
    HMODULE module = nullptr;
    DWORD reason = 0;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            code, &module)) {
        reason = GetLastError();
    }
    const std::wstring path = module ? win32::ModulePath(module, &reason) : std::wstring();
    if (path.empty()) {
        throw Error(server::ErrorOfHResult(HRESULT_FROM_WIN32(reason)),
                    u"cannot tell the folder of murl.dll: " + SystemText(reason));
    }
    return win32::Utf16(path.substr(0, path.find_last_of(L"\\/")));
}

void ComBinding::Initialize(const std::shared_ptr<ISite>& site) {
    if (!state_->plugin) return;
    ComPtr<IUnknown> face = Adopt(MakeHostFace(site));
    ComPtr<IHostSite> as_site;
    if (face) server::Check(face->QueryInterface(IID_IHostSite, PutOut(as_site)));
    SetErrorInfo(0, nullptr);
    server::Check(state_->plugin->Initialize(as_site.Get()));
}

void ComBinding::Terminate() {
    if (!state_->plugin) return;
    SetErrorInfo(0, nullptr);
    server::Check(state_->plugin->Terminate());
}

}  // namespace murl::sim
