#include "platform/win32/windows_headers.h"

#include "server/trace.h"

#include "text/escaped_text.h"
#include "platform/win32/trace_file.h"

namespace murl::server::trace {

namespace where = murl::win32::trace;

std::atomic<bool> g_on{false};

namespace {

// Texts of arguments are cut to this many UTF-16 units, descriptions to the other.
constexpr size_t kArgumentUnits = 80;
constexpr size_t kDescriptionUnits = 200;
// Arguments shown of one event; a host that sends more gets "..." for the rest.
constexpr UINT kShownArguments = 8;

LONGLONG g_frequency = 1;  // of the performance counter, read when the trace goes on

// The trace file, shared by every thread of the module and appended to by every process of
// the account that traces. While `g_file_off`, lines go to the debugger's output only; while
// it is off because the file was full, they are counted for the note that the file gets next.
SRWLOCK g_lock = SRWLOCK_INIT;
constinit where::File g_file;
bool g_file_off = false;
bool g_file_full = false;

constexpr struct {
    HRESULT hr;
    const char* name;
} kResultNames[] = {
    {E_FAIL, "E_FAIL"},
    {E_UNEXPECTED, "E_UNEXPECTED"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
    {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
    {DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS"},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
    {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
    {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
    {DISP_E_UNKNOWNINTERFACE, "DISP_E_UNKNOWNINTERFACE"},
};

// One line, built in place in UTF-8 straight from the UTF-16 it is given: never allocates, and
// what does not fit is cut.
class Line {
public:
    Line() noexcept;  // starts with the time and the process
    Line& Add(std::string_view ascii) noexcept;
    Line& Add(std::u16string_view text, size_t most) noexcept;  // quoted, escaped, cut
    Line& Number(int64_t value, size_t width = 0) noexcept;     // zero-padded to `width`
    Line& Result(HRESULT hr) noexcept;
    Line& Argument(const VARIANT& value, bool inner = false) noexcept;
    Line& Duration(LONGLONG began) noexcept;
    void Write() noexcept;

private:
    static constexpr size_t kCapacity = 1500;  // UTF-16 units of text a line holds
    void Put(char32_t cp) noexcept;            // as UTF-8, whole or not at all
    auto Sink() noexcept {
        return [this](char32_t cp) noexcept { Put(cp); };
    }

    char bytes_[kCapacity * 3 + 3];  // the line, its line end and a terminating zero
    size_t size_ = 0;                // bytes
    size_t units_ = 0;               // UTF-16 units of the text put so far
};

}  // namespace

void Start() noexcept {
    const bool on = where::ReadSwitch() == where::Switch::kOn;
    if (on) {
        LARGE_INTEGER frequency;
        if (QueryPerformanceFrequency(&frequency)) g_frequency = frequency.QuadPart;
        AcquireSRWLockExclusive(&g_lock);
        g_file_off = g_file_full = false;  // a file that failed before gets another chance
        ReleaseSRWLockExclusive(&g_lock);
    }
    g_on.store(on, std::memory_order_relaxed);
}

void Close() noexcept {
    AcquireSRWLockExclusive(&g_lock);
    g_file.Close();
    ReleaseSRWLockExclusive(&g_lock);
}

LONGLONG Now() noexcept {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

Line::Line() noexcept {
    SYSTEMTIME t;
    GetLocalTime(&t);
    Number(t.wYear, 4).Add("-").Number(t.wMonth, 2).Add("-").Number(t.wDay, 2).Add(" ");
    Number(t.wHour, 2).Add(":").Number(t.wMinute, 2).Add(":").Number(t.wSecond, 2).Add(".");
    Number(t.wMilliseconds, 3).Add(" [").Number(GetCurrentProcessId()).Add("] ");
}

void Line::Put(char32_t cp) noexcept {
    const size_t units = cp < 0x10000 ? 1 : 2;  // both halves of a pair, or neither
    if (units_ + units > kCapacity) return;
    units_ += units;
    PutUtf8([this](char byte) noexcept { bytes_[size_++] = byte; }, cp);
}

Line& Line::Add(std::string_view ascii) noexcept {
    for (const char c : ascii) Put(static_cast<unsigned char>(c));
    return *this;
}

Line& Line::Add(std::u16string_view text, size_t most) noexcept {
    const std::u16string_view shown = CutUnits(text, most);
    const auto put = Sink();
    Put(U'"');
    // Quotes and backslashes escaped, controls and lone surrogates as \uXXXX: one line, valid
    // UTF-8.
    PutEscaped(
        put, shown,
        [&](char16_t unit) noexcept {
            if (unit == u'"' || unit == u'\\') {
                Put(U'\\');
                Put(unit);
            } else if (unit < 0x20 || unit == 0x7F) {
                PutHex4(put, unit);
            } else {
                return false;
            }
            return true;
        },
        [&](char16_t unit) noexcept { PutHex4(put, unit); });
    Put(U'"');
    if (text.size() > shown.size()) Add("... (").Number(text.size()).Add(" units)");
    return *this;
}

Line& Line::Number(int64_t value, size_t width) noexcept {
    PutDecimal(Sink(), value, width);
    return *this;
}

Line& Line::Result(HRESULT hr) noexcept {
    if (hr == S_OK) return Add("S_OK");
    for (const auto& known : kResultNames) {
        if (known.hr == hr) Add(known.name).Add(" ");
    }
    Add("0x");
    PutHex(Sink(), static_cast<uint32_t>(hr), 8);
    return *this;
}

Line& Line::Argument(const VARIANT& value, bool inner) noexcept {
    const VARTYPE type = V_VT(&value);
    const bool ref = (type & VT_BYREF) != 0;
    if (ref) {
        Add("&");
        if (!V_BYREF(&value)) return Add("null");
    }
    switch (type & ~VT_BYREF) {
        case VT_EMPTY:
            return Add("empty");
        case VT_BSTR: {
            const BSTR text = ref ? *V_BSTRREF(&value) : V_BSTR(&value);
            return Add({reinterpret_cast<const char16_t*>(text), text ? SysStringLen(text) : 0},
                       kArgumentUnits);
        }
        case VT_I4:
            return Number(ref ? *V_I4REF(&value) : V_I4(&value));
        case VT_I2:
            return Number(ref ? *V_I2REF(&value) : V_I2(&value));
        case VT_BOOL: {
            const VARIANT_BOOL state = ref ? *V_BOOLREF(&value) : V_BOOL(&value);
            if (state == VARIANT_TRUE || state == VARIANT_FALSE) {
                return Add(state ? "true" : "false");
            }
            return Number(state);
        }
        case VT_VARIANT:
            if (ref && !inner) return Argument(*V_VARIANTREF(&value), true);
            break;
        default:
            break;
    }
    return Add("(type ").Number(type).Add(")");
}

Line& Line::Duration(LONGLONG began) noexcept {
    const auto tenths = static_cast<unsigned long>((Now() - began) * 10'000'000 / g_frequency);
    return Number(tenths / 10).Add(".").Number(tenths % 10).Add(" us");
}

// The line in UTF-8 to the file and to the debugger's output (in its narrow form, which Wine
// shows with WINEDEBUG=+debugstr and debuggers on Windows read alike).
void Line::Write() noexcept {
    const char* bytes = bytes_;
    const size_t size = size_ + 2;
    bytes_[size_] = '\r';
    bytes_[size_ + 1] = '\n';
    bytes_[size_ + 2] = 0;
    OutputDebugStringA(bytes);
    AcquireSRWLockExclusive(&g_lock);
    where::Refusal refusal = where::Refusal::kNone;
    if (!g_file_off) {
        refusal = g_file.Append(bytes, static_cast<DWORD>(size));
    } else if (g_file_full) {
        g_file.LeaveOut();
    }
    // A line that could not wait for another client stays out alone.
    const bool stopped = refusal != where::Refusal::kNone && refusal != where::Refusal::kBusy;
    if (stopped) {
        g_file.Close();
        g_file_off = true;
        g_file_full = refusal == where::Refusal::kFull;
    }
    ReleaseSRWLockExclusive(&g_lock);
    if (stopped) {
        OutputDebugStringA(refusal == where::Refusal::kFull
                               ? "murl trace: the trace file is full and cannot be moved aside "
                                 "(is it open in another program?); the trace goes on here "
                                 "only, until the next initialisation\r\n"
                               : "murl trace: the trace file cannot be written; the trace goes "
                                 "on here only, until the next initialisation\r\n");
    }
}

HRESULT Deliver(std::string_view name, Delivery deliver, void* sink, DISPID id, REFIID iid,
                LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                UINT* arg_err) noexcept {
    const LONGLONG began = Now();
    Line line;
    line.Add("event ").Add(name.empty() ? "unknown" : name).Add(" [DISPID ").Number(id).Add("] (");
    // The arguments in the order of the event's parameters, the reverse of DISPPARAMS'.
    const bool listed = params && (params->cArgs == 0 || params->rgvarg);
    const UINT shown = listed && params->cArgs < kShownArguments ? params->cArgs : kShownArguments;
    if (!listed && params) line.Add("no arguments given");
    for (UINT i = 0; listed && i < shown; ++i) {
        line.Add(i > 0 ? ", " : "").Argument(params->rgvarg[params->cArgs - 1 - i]);
    }
    if (listed && params->cArgs > shown) line.Add(", ...");
    if (params && params->cNamedArgs > 0) line.Add("; ").Number(params->cNamedArgs).Add(" named");

    constexpr UINT kNoArgument = ~0u;
    UINT at = kNoArgument;
    const HRESULT hr = deliver(sink, id, iid, locale, flags, params, result, info, &at);
    if (arg_err && at != kNoArgument) *arg_err = at;

    line.Add(") -> ").Result(hr);
    if (listed && at < params->cArgs) line.Add(" at argument ").Number(params->cArgs - at);
    const char* before = ", after: ";
    for (UINT i = 0; listed && i < shown; ++i) {
        const VARIANT& value = params->rgvarg[params->cArgs - 1 - i];
        if (!(V_VT(&value) & VT_BYREF)) continue;
        line.Add(before).Argument(value);
        before = ", ";
    }
    line.Add(", ").Duration(began).Write();
    return hr;
}

void Entry(const char* what, HRESULT hr, LONGLONG began) noexcept {
    Line().Add(what).Add(" -> ").Result(hr).Add(", ").Duration(began).Write();
}

void HostFailure(const char* call, HRESULT hr, std::u16string_view description) noexcept {
    Line line;
    line.Add("host call ").Add(call).Add(" failed: ").Result(hr);
    if (!description.empty()) line.Add(" ").Add(description, kDescriptionUnits);
    line.Write();
}

void Failure(HRESULT hr, std::u16string_view description) noexcept {
    Line()
        .Add("failure handed to the host: ")
        .Result(hr)
        .Add(" ")
        .Add(description, kDescriptionUnits)
        .Write();
}

}  // namespace murl::server::trace
