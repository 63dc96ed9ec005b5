#include "platform/win32/windows_headers.h"

#include "server/event_sinks.h"

#include <ocidl.h>

#include <array>
#include <new>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/win32/win32_holders.h"
#include "server/com_errors.h"
#include "server/component_runtime.h"
#include "server/dispatch_sink.h"
#include "server/host_events.h"
#include "server/trace.h"

namespace murl::server {

using win32::Adopt;
using win32::ComPtr;
using win32::PutOut;
using win32::TextOf;
using win32::Variant;

namespace {

// A bad argument list: the DISP_E_ status and, for one argument at fault, its index in
// DISPPARAMS::rgvarg (which holds the arguments last to first).
struct ArgumentError {
    static constexpr UINT kNoArgument = ~0u;
    HRESULT hr;
    UINT index = kNoArgument;
};

// The arguments of one event, by position in the event's parameter list, coerced with the
// platform's variant conversion. DISPPARAMS holds them last to first. Chat lines arrive many
// times a second with every argument of the right type already: only a coercion pays for a
// VARIANT of its own.
class Arguments {
public:
    static constexpr UINT kMost = 4;

    Arguments(const DISPPARAMS* params, UINT expected) : params_(params) {
        const UINT given = params ? params->cArgs : 0;
        if (params && params->cNamedArgs != 0) throw ArgumentError{DISP_E_NONAMEDARGS};
        if (given != expected || (given > 0 && !params->rgvarg)) {
            throw ArgumentError{DISP_E_BADPARAMCOUNT};
        }
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;
    ~Arguments() {
        for (UINT i = 0; i < kMost; ++i) {
            if (coerced_mask_ & (1u << i)) VariantClear(&coerced_[i]);
        }
    }

    // A text; a NULL BSTR is the empty text.
    std::u16string_view Text(UINT position) {
        const VARIANT& arg = At(position);
        if (V_VT(&arg) == VT_BSTR) return TextOf(V_BSTR(&arg));
        if (V_VT(&arg) == (VT_BSTR | VT_BYREF) && V_BSTRREF(&arg)) {
            return TextOf(*V_BSTRREF(&arg));
        }
        return TextOf(V_BSTR(Coerce(position, VT_BSTR)));
    }

    int32_t Long(UINT position) {
        const VARIANT& arg = At(position);
        if (V_VT(&arg) == VT_I4) return V_I4(&arg);
        return V_I4(Coerce(position, VT_I4));
    }

    HostBool Bool(UINT position) {
        const VARIANT& arg = At(position);
        if (V_VT(&arg) == VT_BOOL) return V_BOOL(&arg);
        return V_BOOL(Coerce(position, VT_BOOL));
    }

    VARIANT& At(UINT position) const { return params_->rgvarg[Index(position)]; }
    UINT Index(UINT position) const noexcept { return params_->cArgs - 1 - position; }

private:
    const VARIANT* Coerce(UINT position, VARTYPE type) {
        VARIANT* converted = &coerced_[position];
        if (!(coerced_mask_ & (1u << position))) {
            VariantInit(converted);
            coerced_mask_ |= 1u << position;
        }
        const HRESULT hr = VariantChangeType(converted, &At(position), 0, type);
        if (FAILED(hr)) {
            if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
            throw ArgumentError{hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH, Index(position)};
        }
        return converted;
    }

    const DISPPARAMS* params_;
    VARIANT coerced_[kMost];  // initialised and cleared only where coerced_mask_ says
    unsigned coerced_mask_ = 0;
};

// The in/out eat flag. It must come by reference: as a VARIANT_BOOL, handed to the handler in
// place, or as a VARIANT, which receives the handler's verdict as a VT_BOOL afterwards, even
// when the handler fails.
class EatFlag {
public:
    EatFlag(Arguments& args, UINT position) {
        VARIANT& arg = args.At(position);
        if (V_VT(&arg) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&arg)) {
            flag_ = V_BOOLREF(&arg);
        } else if (V_VT(&arg) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(&arg)) {
            variant_ = V_VARIANTREF(&arg);
            Variant converted;
            const HRESULT hr = VariantChangeType(PutOut(converted), variant_, 0, VT_BOOL);
            if (FAILED(hr)) throw ArgumentError{DISP_E_TYPEMISMATCH, args.Index(position)};
            local_ = V_BOOL(converted.get());
            flag_ = &local_;
        } else {
            throw ArgumentError{DISP_E_TYPEMISMATCH, args.Index(position)};
        }
    }
    EatFlag(const EatFlag&) = delete;
    EatFlag& operator=(const EatFlag&) = delete;
    ~EatFlag() {
        if (!variant_) return;
        VariantClear(variant_);
        V_VT(variant_) = VT_BOOL;
        V_BOOL(variant_) = local_;
    }

    HostBool& get() noexcept { return *flag_; }

private:
    static_assert(sizeof(VARIANT_BOOL) == sizeof(HostBool));
    HostBool* flag_ = nullptr;
    VARIANT* variant_ = nullptr;
    HostBool local_ = 0;
};

template <class Events, class... Params>
constexpr auto ParameterPositions(void (Events::*)(Params...)) {
    return std::index_sequence_for<Params...>{};
}

// One argument, read as its member's parameter takes it: a text, a long, a Boolean or the eat
// flag. It holds what it read until the handler has returned.
template <class Param>
class Argument {
public:
    Argument(Arguments& args, UINT position) : value_(Read(args, position)) {}
    Param get() const noexcept { return value_; }

private:
    static Param Read(Arguments& args, UINT position) {
        if constexpr (std::is_same_v<Param, std::u16string_view>) {
            return args.Text(position);
        } else if constexpr (std::is_same_v<Param, int32_t>) {
            return args.Long(position);
        } else {
            static_assert(std::is_same_v<Param, HostBool>, "an argument of a kind no event has");
            return args.Bool(position);
        }
    }

    Param value_;
};
template <>
class Argument<HostBool&> : public EatFlag {
public:
    using EatFlag::EatFlag;
};

// The arguments of one event as its member's parameters take them, read in order when made
// (bases are made in the order they are listed): the first argument at fault is the one named.
template <size_t Position, class Param>
struct Slot {
    explicit Slot(Arguments& args) : argument(args, Position) {}
    Argument<Param> argument;
};
template <class Positions, class... Params>
struct Read;
template <size_t... Position, class... Params>
struct Read<std::index_sequence<Position...>, Params...> : Slot<Position, Params>... {
    explicit Read(Arguments& args) : Slot<Position, Params>(args)... {}
};

// Hands the event to `member` of the sink with its arguments.
template <class Events, class... Params, size_t... Position>
void Deliver(Events& sink, void (Events::*member)(Params...), const DISPPARAMS* params,
             std::index_sequence<Position...> positions) {
    static_assert(sizeof...(Params) <= Arguments::kMost);
    Arguments args(params, sizeof...(Params));
    Read<decltype(positions), Params...> read(args);
    (sink.*member)(static_cast<Slot<Position, Params>&>(read).argument.get()...);
}

// Event routing by DISPID, through the rows of the event interface. DISPIDs that the interface
// has no row for are answered S_OK, as by a sink with no handler for them (hosts may raise
// more than we handle).
template <class Events>
HRESULT Dispatch(Events& sink, DISPID id, const DISPPARAMS* params) {
    std::apply(
        [&](const auto&... row) {
            ((row.dispid == id
                  ? (Deliver(sink, row.member, params, ParameterPositions(row.member)), true)
                  : false) ||
             ...);
        },
        Events::kEvents);
    return S_OK;
}

// What every event sink holds, whatever its events: the plug-in's binding and its tie to the
// plug-in, which its subscription cuts when it ends.
class Attachment {
public:
    void Detach() noexcept { attached_ = false; }

protected:
    explicit Attachment(std::shared_ptr<BindingContext> context) noexcept
        : context_(std::move(context)) {}
    [[gnu::noinline]] ~Attachment() = default;

    std::shared_ptr<BindingContext> context_;
    bool attached_ = true;
};

template <class Events>
class EventSink final : public DispatchSink<EventSink<Events>, kEventsIid<Events>>,
                        public Attachment,
                        private ModuleObject {
public:
    EventSink(std::shared_ptr<BindingContext> context, Events& target)
        : Attachment(std::move(context)), target_(target) {}

    // The host raises one of the source's events.
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* info, UINT* arg_err) noexcept override {
        if (trace::On()) [[unlikely]] {
            return trace::Deliver(EventName<Events>(id), &DeliverTo, this, id, iid, locale, flags,
                                  params, result, info, arg_err);
        }
        return Deliver(id, iid, locale, flags, params, result, info, arg_err);
    }

private:
    ~EventSink() override = default;

    // Out of line, with Invoke's very parameters, so that Invoke passes the event on with a
    // jump and the traced path shares the code.
    [[gnu::noinline]] HRESULT STDMETHODCALLTYPE Deliver(DISPID id, REFIID iid, LCID, WORD flags,
                                                        DISPPARAMS* params, VARIANT*,
                                                        EXCEPINFO* info, UINT* arg_err) noexcept {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        // A plug-in on its way out (its owner cleared) reaches nobody either.
        if (!attached_ || !context_->owner) return S_OK;
        const Lifetime::Hold keep_self(*this);
        const Lifetime::Hold keep_owner(*context_->owner);
        return GuardSink(info, [&] {
            try {
                return Dispatch(target_, id, params);
            } catch (const ArgumentError& e) {
                if (arg_err && e.index != ArgumentError::kNoArgument) *arg_err = e.index;
                return e.hr;
            }
        });
    }

    static HRESULT STDMETHODCALLTYPE DeliverTo(void* self, DISPID id, REFIID iid, LCID locale,
                                               WORD flags, DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* info, UINT* arg_err) noexcept {
        return static_cast<EventSink*>(self)->Deliver(id, iid, locale, flags, params, result, info,
                                                      arg_err);
    }

    Events& target_;
};

class ConnectionSubscription final : public Subscription {
public:
    ConnectionSubscription(ComPtr<IConnectionPoint> point, ComPtr<IDispatch> sink,
                           Attachment& attachment, DWORD cookie) noexcept
        : point_(std::move(point)),
          sink_(std::move(sink)),
          attachment_(attachment),
          cookie_(cookie) {}
    ~ConnectionSubscription() override {
        attachment_.Detach();
        const HRESULT hr = point_->Unadvise(cookie_);
        if (FAILED(hr) && trace::On()) trace::HostFailure("Unadvise", hr, u"");
    }

private:
    ComPtr<IConnectionPoint> point_;
    ComPtr<IDispatch> sink_;  // holds `attachment_`
    Attachment& attachment_;
    DWORD cookie_;
};

// Advises `sink`, whose tie to the plug-in is `attachment`, on the source's connection point for
// `events`.
std::unique_ptr<Subscription> Connect(IUnknown* source, REFIID events, ComPtr<IDispatch> sink,
                                      Attachment& attachment) {
    ComPtr<IConnectionPointContainer> container;
    Check(source->QueryInterface(IID_IConnectionPointContainer, PutOut(container)),
          "QueryInterface IConnectionPointContainer");
    ComPtr<IConnectionPoint> point;
    SetErrorInfo(0, nullptr);
    Check(container->FindConnectionPoint(events, PutOut(point)), "FindConnectionPoint");
    if (!point) Check(E_POINTER, "FindConnectionPoint");

    DWORD cookie = 0;
    SetErrorInfo(0, nullptr);
    Check(point->Advise(sink.Get(), &cookie), "Advise");
    return std::make_unique<ConnectionSubscription>(std::move(point), std::move(sink), attachment,
                                                    cookie);
}

template <class Events>
std::unique_ptr<Subscription> SubscribeTo(IUnknown* source,
                                          const std::shared_ptr<BindingContext>& context,
                                          Events& target) {
    auto* sink = new EventSink<Events>(context, target);
    return Connect(source, *kEventsIid<Events>, Adopt(static_cast<IDispatch*>(sink)), *sink);
}

}  // namespace

std::unique_ptr<Subscription> Subscribe(IUnknown* source,
                                        const std::shared_ptr<BindingContext>& context,
                                        AnyEventSink sink) {
    return std::visit([&](auto* target) { return SubscribeTo(source, context, *target); }, sink);
}

}  // namespace murl::server
