#include "platform/win32/windows_headers.h"

#include "platform/win32/system_message.h"
#include "platform/win32/win32_holders.h"
#include "server/com_errors.h"
#include "server/trace.h"

#include <iterator>
#include <new>

namespace murl::server {

using win32::Bstr;
using win32::ComPtr;
using win32::PutOut;
using win32::TextOf;

namespace {

constexpr char16_t kDefaultSource[] = u"murl";

// Platform errors that COM carries as a general HRESULT rather than as FACILITY_CONTROL.
struct Mapping {
    HRESULT hr;
    int32_t number;
};
constexpr Mapping kMappings[] = {
    {E_OUTOFMEMORY, err::kOutOfMemory},       {E_INVALIDARG, err::kInvalidCall},
    {DISP_E_OVERFLOW, err::kOverflow},        {DISP_E_TYPEMISMATCH, err::kTypeMismatch},
    {E_NOINTERFACE, err::kNoAutomation},      {DISP_E_MEMBERNOTFOUND, err::kNotSupported},
    {DISP_E_UNKNOWNNAME, err::kNotSupported},
};

// Copies nothing of its own: without memory for the error object the caller gets the status
// alone.
void SetThreadErrorInfo(const Error& e) noexcept {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(PutOut(create)))) return;
    const char16_t* source = e.source().empty() ? kDefaultSource : e.source().c_str();
    // The texts are copied by the error object; these calls only read them.
    create->SetGUID(GUID_NULL);
    create->SetSource(const_cast<LPOLESTR>(reinterpret_cast<const wchar_t*>(source)));
    create->SetDescription(
        const_cast<LPOLESTR>(reinterpret_cast<const wchar_t*>(e.description().c_str())));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, PutOut(info))))
        SetErrorInfo(0, info.Get());
}

}  // namespace

HRESULT HResultOfError(int32_t number) noexcept {
    for (const Mapping& m : kMappings) {
        if (m.number == number) return m.hr;
    }
    if (number > 0 && number <= 0xFFFF)
        return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
    if (number < 0) return static_cast<HRESULT>(number);
    return E_FAIL;
}

int32_t ErrorOfHResult(HRESULT hr) noexcept {
    for (const Mapping& m : kMappings) {
        if (m.hr == hr) return m.number;
    }
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL && HRESULT_SEVERITY(hr) == SEVERITY_ERROR) {
        return HRESULT_CODE(hr);
    }
    return static_cast<int32_t>(hr);
}

void ThrowHostFailure(HRESULT hr, const char* call) {
    const int32_t number = ErrorOfHResult(hr);
    std::u16string description, source;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, PutOut(info)) == S_OK && info) {
        Bstr text, from;
        if (SUCCEEDED(info->GetDescription(PutOut(text)))) description = TextOf(text);
        if (SUCCEEDED(info->GetSource(PutOut(from)))) source = TextOf(from);
    }
    if (description.empty()) description = StandardDescription(number);
    if (description.empty()) description = win32::SystemMessage(static_cast<DWORD>(hr));
    if (description.empty()) description = u"Automation error";
    if (call && trace::On()) trace::HostFailure(call, hr, description);
    throw Error(number, std::move(description), std::move(source));
}

namespace {

// The failure the catch-all hands back, traced with the trace on.
HRESULT Traced(HRESULT hr, std::u16string_view description) noexcept {
    if (trace::On()) trace::Failure(hr, description);
    return hr;
}

}  // namespace

HRESULT ReportToCaller() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return Traced(E_OUTOFMEMORY, u"out of memory");
    } catch (const Error& e) {
        SetThreadErrorInfo(e);
        return Traced(HResultOfError(e.number()), e.description());
    } catch (...) {
        return Traced(E_UNEXPECTED, u"unexpected exception");
    }
}

HRESULT ReportToSink(EXCEPINFO* info) noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return Traced(E_OUTOFMEMORY, u"out of memory");
    } catch (const Error& e) {
        const HRESULT hr = Traced(HResultOfError(e.number()), e.description());
        if (!info) return hr;
        *info = EXCEPINFO{};
        info->scode = hr;
        const std::u16string_view source =
            e.source().empty() ? std::u16string_view(kDefaultSource) : e.source();
        info->bstrSource = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(source.data()),
                                             static_cast<UINT>(source.size()));
        info->bstrDescription =
            SysAllocStringLen(reinterpret_cast<const OLECHAR*>(e.description().data()),
                              static_cast<UINT>(e.description().size()));
        return DISP_E_EXCEPTION;
    } catch (...) {
        return Traced(E_UNEXPECTED, u"unexpected exception");
    }
}

}  // namespace murl::server
