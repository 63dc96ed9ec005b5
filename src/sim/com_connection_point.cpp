#include "platform/win32/windows_headers.h"

#include "sim/com_connection_point.h"

#include <variant>

#include "server/com_errors.h"

namespace murl::sim {

using win32::ExcepInfo;
using win32::TextOf;

void Forwarder::Relay(int32_t dispid, std::span<const EventArgument> arguments) {
    VARIANT reversed[kMostArguments];
    const UINT count = static_cast<UINT>(arguments.size());
    if (count > kMostArguments) throw Error(err::kInvalidCall);
    for (UINT i = 0; i < count; ++i) {
        reversed[count - 1 - i] = std::visit(
            [](auto argument) { return server::ArgumentVariant(argument); }, arguments[i]);
    }
    const struct Cleared {
        VARIANT* variants;
        UINT count;
        ~Cleared() {
            for (UINT i = 0; i < count; ++i) VariantClear(&variants[i]);
        }
    } cleared{reversed, count};
    Invoke(dispid, count == 0 ? nullptr : reversed, count);
}

void Forwarder::Invoke(DISPID id, VARIANT* reversed, UINT count) {
    DISPPARAMS params{reversed, nullptr, count, 0};
    ExcepInfo info;
    UINT arg_err = 0;
    SetErrorInfo(0, nullptr);
    const HRESULT hr =
        sink_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, PutOut(info), &arg_err);
    if (hr == DISP_E_EXCEPTION) {
        if (info->pfnDeferredFillIn) info->pfnDeferredFillIn(info.get());
        const HRESULT code = info->scode ? info->scode : HRESULT(info->wCode);
        throw Error(server::ErrorOfHResult(code), std::u16string(TextOf(info->bstrDescription)),
                    std::u16string(TextOf(info->bstrSource)));
    }
    if (FAILED(hr)) server::ThrowHostFailure(hr);
}

}  // namespace murl::sim
