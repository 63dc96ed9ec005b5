// The cost of ChatTextIntercept raised through the hooks' connection point into murl.dll,
// against the same event raised into two other sinks, in one process under Wine: an empty sink,
// which only returns, and the contract floor, which does only what the host contract demands of
// any plug-in for a chat line: it reads, through the same check boxes by COM, every switch the
// line's colour makes the rules read, makes one vectorised pass over the text and sets the eat
// flag.
//
// murl.dll runs twice: with its trace off, as players run it, and with the trace switched on
// (the account's switch set for those samples and put back afterwards, the trace file in a folder
// of the benchmark's own), which writes a line per event, and on each narrower search path the
// processor can take (a copy of the module loaded with MURL_SEARCH_PATH naming the path).
//
// Every contender sits alone on the same connection point of the conformance tests' COM host and
// receives the same DISPPARAMS, whose texts are allocated once up front: the difference is what
// a sink does with an event, not the host's raising or SysAllocString. Samples alternate between
// them, so drift in the machine's speed affects all alike. The heap allocations murl.dll makes
// while its events run are counted through its import cells of the heap functions.
//
//   com_event_bench [--smoke] [--samples N] [--sample-ms N] [--corpus mixed|long|long_large]
//
// --smoke: one short sample per contender and corpus, for CTest; it checks that the events
// arrive, the filter eats what it should, traced or not, the trace writes its file, and murl.dll
// allocates nothing per event with the trace off, never how long they take.

#include "platform/win32/windows_headers.h"

#include <algorithm>
#include <cpuid.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <ocidl.h>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

#include "chat_corpus.h"
#include "plugin/chat_rules.h"
#include "plugin/search/search.h"
#include "server/dispatch_sink.h"
#include "test_host.h"

using namespace testhost;
using murl::testing_support::ChatLine;
using murl::testing_support::CorpusKind;

namespace {

// Advised on the hooks' connection point in place of murl.dll: answers every event at once.
class EmptySink final : public murl::server::DispatchSink<EmptySink, &DIID_DHostHooksEvents> {
public:
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) noexcept override {
        return S_OK;
    }

private:
    ~EmptySink() override = default;
};

// One vectorised pass over a text for a unit that never occurs: the least reading of a line.
constexpr wchar_t kAbsentUnit = 0xFFFF;

__attribute__((target("avx2"))) bool FoundAvx2(const wchar_t* text, size_t size) {
    const __m256i absent = _mm256_set1_epi16(static_cast<short>(kAbsentUnit));
    size_t i = 0;
    for (; i + 16 <= size; i += 16) {
        const __m256i units = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi16(units, absent)) != 0) return true;
    }
    for (; i < size; ++i) {
        if (text[i] == kAbsentUnit) return true;
    }
    return false;
}

bool FoundPlain(const wchar_t* text, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (text[i] == kAbsentUnit) return true;
    }
    return false;
}

// In murl.dll's place: what the host contract demands of any plug-in per chat line, and no more.
class ContractFloorSink final
    : public murl::server::DispatchSink<ContractFloorSink, &DIID_DHostHooksEvents> {
public:
    explicit ContractFloorSink(Host& host)
        : found_(murl::utf16::BestSearchPath() >= murl::utf16::SearchPath::kAvx2 ? FoundAvx2
                                                                                 : FoundPlain) {
        for (size_t i = 0; i < murl::kSwitches.size(); ++i) {
            HostObject* box = host.control(WideName(murl::kSwitches[i].control).c_str());
            box->QueryInterface(IID_IHostCheckBox, PutOut(boxes_[i]));
        }
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) noexcept override {
        if (id != DISPID_HOOKS_CHATTEXTINTERCEPT) return S_OK;
        const BSTR text = V_BSTR(&params->rgvarg[3]);
        const murl::SwitchReads reads = murl::ChatSwitchReads(V_I4(&params->rgvarg[2]));
        bool any_on = false;
        for (size_t i = 0; i < reads.count; ++i) {
            VARIANT_BOOL state = VARIANT_FALSE;
            if (const HRESULT hr = boxes_[reads.box[i]]->GetChecked(&state); FAILED(hr)) return hr;
            any_on |= state == VARIANT_TRUE;
        }
        const bool eat = any_on && found_(text, SysStringLen(text));
        *V_BOOLREF(&params->rgvarg[0]) = eat ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    bool ready() const {
        return std::all_of(std::begin(boxes_), std::end(boxes_), [](auto& b) { return b; });
    }

private:
    ~ContractFloorSink() override = default;

    bool (*found_)(const wchar_t*, size_t);
    ComPtr<IHostCheckBox> boxes_[murl::kSwitches.size()];
};

// Counts the heap allocations a module makes, by pointing its import cells of the C runtime's and
// the automation library's allocating functions at counting shims.
namespace alloc_count {

long count = 0;

void*(__cdecl* real_malloc)(size_t) = nullptr;
void*(__cdecl* real_calloc)(size_t, size_t) = nullptr;
void*(__cdecl* real_realloc)(void*, size_t) = nullptr;
BSTR(WINAPI* real_sys_alloc_len)(const OLECHAR*, UINT) = nullptr;
BSTR(WINAPI* real_sys_alloc)(const OLECHAR*) = nullptr;
INT(WINAPI* real_sys_realloc_len)(BSTR*, const OLECHAR*, UINT) = nullptr;
LPVOID(WINAPI* real_heap_alloc)(HANDLE, DWORD, SIZE_T) = nullptr;
LPVOID(WINAPI* real_heap_realloc)(HANDLE, DWORD, LPVOID, SIZE_T) = nullptr;

void* __cdecl Malloc(size_t size) {
    ++count;
    return real_malloc(size);
}
void* __cdecl Calloc(size_t n, size_t size) {
    ++count;
    return real_calloc(n, size);
}
void* __cdecl Realloc(void* p, size_t size) {
    ++count;
    return real_realloc(p, size);
}
BSTR WINAPI SysAllocLen(const OLECHAR* text, UINT size) {
    ++count;
    return real_sys_alloc_len(text, size);
}
BSTR WINAPI SysAlloc(const OLECHAR* text) {
    ++count;
    return real_sys_alloc(text);
}
INT WINAPI SysReallocLen(BSTR* bstr, const OLECHAR* text, UINT size) {
    ++count;
    return real_sys_realloc_len(bstr, text, size);
}
LPVOID WINAPI HeapAllocShim(HANDLE heap, DWORD flags, SIZE_T size) {
    ++count;
    return real_heap_alloc(heap, flags, size);
}
LPVOID WINAPI HeapReallocShim(HANDLE heap, DWORD flags, LPVOID p, SIZE_T size) {
    ++count;
    return real_heap_realloc(heap, flags, p, size);
}

struct Shim {
    const char* name;
    void* shim;
    void** real;
};

template <class F>
Shim Make(const char* name, F shim, F* real) {
    return {name, reinterpret_cast<void*>(shim), reinterpret_cast<void**>(real)};
}

// Points `module`'s import cells of the functions above at the shims; the functions found.
int Install(HMODULE module) {
    const Shim shims[] = {
        Make("malloc", &Malloc, &real_malloc),
        Make("calloc", &Calloc, &real_calloc),
        Make("realloc", &Realloc, &real_realloc),
        Make("SysAllocStringLen", &SysAllocLen, &real_sys_alloc_len),
        Make("SysAllocString", &SysAlloc, &real_sys_alloc),
        Make("SysReAllocStringLen", &SysReallocLen, &real_sys_realloc_len),
        Make("HeapAlloc", &HeapAllocShim, &real_heap_alloc),
        Make("HeapReAlloc", &HeapReallocShim, &real_heap_realloc),
    };
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int installed = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         dir.VirtualAddress != 0 && d->Name != 0; ++d) {
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto* cells = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++cells) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = reinterpret_cast<const char*>(
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)
                    ->Name);
            for (const Shim& shim : shims) {
                if (std::string_view(name) != shim.name) continue;
                DWORD old = 0;
                VirtualProtect(&cells->u1.Function, sizeof cells->u1.Function, PAGE_READWRITE,
                               &old);
                *shim.real = reinterpret_cast<void*>(cells->u1.Function);
                cells->u1.Function = reinterpret_cast<decltype(cells->u1.Function)>(shim.shim);
                VirtualProtect(&cells->u1.Function, sizeof cells->u1.Function, old, &old);
                ++installed;
            }
        }
    }
    return installed;
}

}  // namespace alloc_count

// One corpus as the host hands it over: per line, the four arguments last to first, the text
// a BSTR made once, the eat flag by reference to one host-side flag.
class Events {
public:
    Events(std::string name, const std::vector<ChatLine>& lines) : name_(std::move(name)) {
        args_.resize(lines.size() * 4);
        for (size_t i = 0; i < lines.size(); ++i) {
            VARIANT* a = &args_[i * 4];
            a[3] = Text(std::wstring(lines[i].text.begin(), lines[i].text.end()));
            a[2] = Long(lines[i].colour);
            a[1] = Long(0);
            a[0] = BoolRef(&eat_);
            units_ += lines[i].text.size();
        }
    }
    ~Events() {
        for (size_t i = 0; i < args_.size(); i += 4) VariantClear(&args_[i + 3]);
    }
    Events(const Events&) = delete;
    Events& operator=(const Events&) = delete;

    const std::string& name() const { return name_; }
    size_t size() const { return args_.size() / 4; }
    size_t units() const { return units_; }

    // Raises every line once as a host does, the flag cleared before each; the lines eaten,
    // or -1 when a sink failed.
    long RaiseAll(ConnectionPoint& point) {
        long eaten = 0;
        for (size_t i = 0; i < args_.size(); i += 4) {
            DISPPARAMS params{&args_[i], nullptr, 4, 0};
            eat_ = VARIANT_FALSE;
            if (FAILED(point.FireRaw(DISPID_HOOKS_CHATTEXTINTERCEPT, &params))) return -1;
            eaten += eat_ == VARIANT_TRUE;
        }
        return eaten;
    }

private:
    std::string name_;
    std::vector<VARIANT> args_;
    VARIANT_BOOL eat_ = VARIANT_FALSE;
    size_t units_ = 0;
};

double Seconds(LONGLONG ticks) {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    return static_cast<double>(ticks) / frequency;
}

LONGLONG Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

struct Sample {
    double ns_per_event;
    long eaten_per_pass;
    double allocs_per_event;  // by murl.dll
};

// `passes` passes over the corpus; ns per event and the lines eaten in one pass.
Sample Time(Events& events, ConnectionPoint& point, int passes) {
    long eaten = 0;
    const long allocs_before = alloc_count::count;
    const LONGLONG start = Now();
    for (int p = 0; p < passes; ++p) {
        const long got = events.RaiseAll(point);
        if (got < 0) return {0, -1, 0};
        if (p > 0 && got != eaten) return {0, -1, 0};
        eaten = got;
    }
    const double seconds = Seconds(Now() - start);
    const double raised = static_cast<double>(passes) * static_cast<double>(events.size());
    return {seconds * 1e9 / raised, eaten,
            static_cast<double>(alloc_count::count - allocs_before) / raised};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Options {
    bool smoke = false;
    int samples = 15;
    double sample_ms = 40;
    std::string corpus;  // empty: every one
};

bool Fail(const char* what, HRESULT hr = S_OK) {
    std::fprintf(stderr, "com_event_bench: %s", what);
    if (hr != S_OK) std::fprintf(stderr, " (0x%08lX)", static_cast<unsigned long>(hr));
    std::fprintf(stderr, "\n");
    return false;
}

// The search paths this processor can take, the widest first, and for each a copy of murl.dll
// loaded with MURL_SEARCH_PATH naming it (the widest under murl.dll's own name), its allocating
// imports counted.
class Modules {
public:
    Modules() {
        for (const murl::utf16::SearchPath path : murl::utf16::kSearchPaths) {
            if (path == murl::utf16::SearchPath::kPlain || path > murl::utf16::BestSearchPath())
                continue;
            paths_.insert(paths_.begin(), path);
        }
        for (const murl::utf16::SearchPath path : paths_) {
            const std::string name = murl::utf16::SearchPathName(path);
            const bool widest = path == paths_.front();
            _putenv(("MURL_SEARCH_PATH=" + (widest ? std::string() : name)).c_str());
            const std::wstring file =
                widest ? std::wstring(L"murl.dll") : L"murl-" + WideName(name) + L".dll";
            modules_.push_back(std::make_unique<MurlModule>(file.c_str()));
            installed_ &=
                alloc_count::Install(GetModuleHandleW(modules_.back()->path().c_str())) > 0;
        }
        _putenv("MURL_SEARCH_PATH=");
    }

    bool ready() const { return installed_; }
    const std::vector<murl::utf16::SearchPath>& paths() const { return paths_; }
    const MurlModule& on(size_t path) const { return *modules_[path]; }

private:
    static std::wstring WideName(const std::string& name) { return {name.begin(), name.end()}; }

    std::vector<murl::utf16::SearchPath> paths_;
    std::vector<std::unique_ptr<MurlModule>> modules_;
    bool installed_ = true;
};

// Puts one contender alone on the hooks' connection point: murl.dll on one of the paths (the
// plug-in initialised, every switch on: its most work per line), the empty sink or the contract
// floor.
class Contenders {
public:
    Contenders(const Modules& modules, Host& host, TraceSwitch& trace)
        : host_(host), trace_(trace) {
        for (size_t i = 0; i < modules.paths().size(); ++i) {
            plugins_.emplace_back();
            modules.on(i).Create(IID_IPlugin2, PutOut(plugins_.back()));
        }
        empty_ = Adopt(static_cast<IDispatch*>(new EmptySink));
        auto* floor = new ContractFloorSink(host);
        floor_ready_ = floor->ready();
        floor_ = Adopt(static_cast<IDispatch*>(floor));
    }

    bool ready() const {
        return floor_ready_ &&
               std::all_of(plugins_.begin(), plugins_.end(), [](auto& p) { return p; });
    }

    // murl.dll on path `path` (an index of Modules::paths()), with its trace off, or on.
    bool UseMurl(bool traced = false, size_t path = 0) {
        trace_.Set(traced);
        const HRESULT hr = plugins_[path]->Initialize(host_.site.Get());
        if (FAILED(hr)) return Fail("Initialize failed", hr);
        // Host-side, as a user left them: no Change event, the plug-in reads them per line.
        for (const std::u16string_view name : murl::kCheckBoxNames) {
            host_.control(testhost::WideName(name).c_str())->checked = VARIANT_TRUE;
        }
        if (host_.hooks->advised() != 1) return Fail("murl.dll is not alone on the hooks");
        return true;
    }
    bool DropMurl(size_t path = 0) {
        const HRESULT hr = plugins_[path]->Terminate();
        if (FAILED(hr)) return Fail("Terminate failed", hr);
        if (host_.hooks->advised() != 0) return Fail("murl.dll stayed on the hooks");
        return true;
    }
    // The empty sink or the contract floor, alone on the hooks.
    bool UseEmpty() { return Use(empty_.Get()); }
    bool UseFloor() {
        // The floor reads the boxes as murl.dll found them: every switch on.
        for (const std::u16string_view name : murl::kCheckBoxNames) {
            host_.control(testhost::WideName(name).c_str())->checked = VARIANT_TRUE;
        }
        return Use(floor_.Get());
    }
    bool Drop() {
        const HRESULT hr = host_.hooks->events()->Unadvise(cookie_);
        if (FAILED(hr)) return Fail("Unadvise of a sink failed", hr);
        return true;
    }

private:
    bool Use(IDispatch* sink) {
        if (host_.hooks->advised() != 0) return Fail("another sink stayed on the hooks");
        const HRESULT hr = host_.hooks->events()->Advise(sink, &cookie_);
        if (FAILED(hr)) return Fail("Advise of a sink failed", hr);
        return true;
    }

    Host& host_;
    TraceSwitch& trace_;
    std::vector<ComPtr<IPlugin2>> plugins_;  // one per path, the widest first
    ComPtr<IDispatch> empty_, floor_;
    bool floor_ready_ = false;
    DWORD cookie_ = 0;
};

struct Result {
    double murl_median, murl_best, empty_median, empty_best, floor_median, floor_best;
    double traced_median, traced_best;  // murl.dll with its trace on
    double murl_allocs;      // heap allocations by murl.dll per event, the most of any sample
    double traced_allocs;    // the same with the trace on
    long initialise_allocs;  // and in Initialize, which shows that the count sees them
    long eaten;
    int traced_passes;
    std::vector<double> narrower_median;  // murl.dll on each narrower path, the widest first
};

bool Measure(Contenders& c, size_t paths, Events& events, ConnectionPoint& point, const Options& o,
             Result& r) {
    // Warm-up, and the passes that make one sample last about sample_ms for murl.dll.
    const long before_initialise = alloc_count::count;
    if (!c.UseMurl()) return false;
    r.initialise_allocs = alloc_count::count - before_initialise;
    const Sample warm = Time(events, point, 1);
    if (warm.eaten_per_pass < 0) return Fail("a raise into murl.dll failed");
    int passes = 1;
    if (!o.smoke) {
        const Sample probe = Time(events, point, 3);
        const double per_pass_ms = probe.ns_per_event * static_cast<double>(events.size()) / 1e6;
        passes = std::max(1, static_cast<int>(o.sample_ms / per_pass_ms));
    }
    // murl.dll traced takes far longer per event: its samples get passes of their own.
    if (!c.DropMurl() || !c.UseMurl(true)) return false;
    const Sample traced_warm = Time(events, point, 1);
    if (traced_warm.eaten_per_pass != warm.eaten_per_pass) {
        return Fail("murl.dll traced ate a different number of lines");
    }
    r.traced_passes = 1;
    if (!o.smoke) {
        const Sample probe = Time(events, point, 2);
        const double per_pass_ms = probe.ns_per_event * static_cast<double>(events.size()) / 1e6;
        r.traced_passes = std::max(1, static_cast<int>(o.sample_ms / per_pass_ms));
    }
    if (!c.DropMurl() || !c.UseEmpty()) return false;
    Time(events, point, 1);
    if (!c.Drop() || !c.UseFloor()) return false;
    const Sample floor_warm = Time(events, point, 1);
    if (floor_warm.eaten_per_pass != 0) return Fail("the contract floor's raise failed or ate");
    if (!c.Drop()) return false;

    std::vector<double> murl, empty, floor, traced;
    std::vector<std::vector<double>> narrower(paths - 1);
    r.eaten = warm.eaten_per_pass;
    r.murl_allocs = 0;
    r.traced_allocs = 0;
    for (int s = 0; s < o.samples; ++s) {
        if (!c.UseMurl()) return false;
        const Sample a = Time(events, point, passes);
        if (a.eaten_per_pass != r.eaten) return Fail("murl.dll ate a different number of lines");
        murl.push_back(a.ns_per_event);
        r.murl_allocs = std::max(r.murl_allocs, a.allocs_per_event);
        if (!c.DropMurl() || !c.UseEmpty()) return false;
        const Sample b = Time(events, point, passes);
        if (b.eaten_per_pass != 0) return Fail("the empty sink's raise failed or ate a line");
        empty.push_back(b.ns_per_event);
        if (!c.Drop() || !c.UseFloor()) return false;
        const Sample f = Time(events, point, passes);
        if (f.eaten_per_pass != 0) return Fail("the contract floor's raise failed or ate a line");
        floor.push_back(f.ns_per_event);
        if (!c.Drop() || !c.UseMurl(true)) return false;
        const Sample t = Time(events, point, r.traced_passes);
        if (t.eaten_per_pass != r.eaten) return Fail("murl.dll traced ate a different number");
        traced.push_back(t.ns_per_event);
        r.traced_allocs = std::max(r.traced_allocs, t.allocs_per_event);
        if (!c.DropMurl()) return false;
        for (size_t p = 1; p < narrower.size() + 1; ++p) {
            if (!c.UseMurl(false, p)) return false;
            const Sample n = Time(events, point, passes);
            if (n.eaten_per_pass != r.eaten) return Fail("murl.dll on a narrower path ate others");
            narrower[p - 1].push_back(n.ns_per_event);
            r.murl_allocs = std::max(r.murl_allocs, n.allocs_per_event);
            if (!c.DropMurl(p)) return false;
        }
    }
    for (const auto& samples : narrower) r.narrower_median.push_back(Median(samples));
    r.murl_median = Median(murl);
    r.murl_best = *std::min_element(murl.begin(), murl.end());
    r.empty_median = Median(empty);
    r.empty_best = *std::min_element(empty.begin(), empty.end());
    r.floor_median = Median(floor);
    r.floor_best = *std::min_element(floor.begin(), floor.end());
    r.traced_median = Median(traced);
    r.traced_best = *std::min_element(traced.begin(), traced.end());
    std::printf("%-10s %6zu lines %7.1f units/line  %4d passes x %2d samples\n",
                events.name().c_str(), events.size(),
                static_cast<double>(events.units()) / static_cast<double>(events.size()), passes,
                o.samples);
    return true;
}

// The processor's name, as CPUID gives it.
std::string ProcessorName() {
    unsigned regs[12] = {};
    if (__get_cpuid_max(0x80000000, nullptr) < 0x80000004) return "unknown";
    for (unsigned i = 0; i < 3; ++i) {
        __get_cpuid(0x80000002 + i, &regs[4 * i], &regs[4 * i + 1], &regs[4 * i + 2],
                    &regs[4 * i + 3]);
    }
    std::string name(reinterpret_cast<const char*>(regs), sizeof regs);
    name.erase(name.find_last_not_of(std::string_view(" \0", 2)) + 1);
    name.erase(0, name.find_first_not_of(' '));
    return name;
}

bool Parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--smoke") {
            o.smoke = true;
            o.samples = 1;
        } else if (arg == "--samples" && i + 1 < argc) {
            o.samples = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--sample-ms" && i + 1 < argc) {
            o.sample_ms = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--corpus" && i + 1 < argc) {
            o.corpus = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: com_event_bench [--smoke] [--samples N] [--sample-ms N] "
                         "[--corpus mixed|long|long_large]\n");
            return false;
        }
    }
    return true;
}

int Run(const Options& o) {
    const Modules modules;
    if (!modules.ready()) {
        Fail("found none of murl.dll's allocating imports");
        return 1;
    }
    TraceSwitch trace;
    Host host;
    Contenders contenders(modules, host, trace);
    if (!contenders.ready()) {
        Fail("murl.dll gave no clsMurl");
        return 1;
    }
    ConnectionPoint& point = *host.hooks->events();

    // The mix and the long lines in the second-level cache, as a line just written by the game
    // is, and the long lines in a set that is not.
    constexpr int kCorpora = 3;
    const std::vector<ChatLine> lines[kCorpora] = {
        murl::testing_support::MakeChatCorpus(CorpusKind::Mixed, o.smoke ? 256 : 1024),
        murl::testing_support::MakeChatCorpus(CorpusKind::Long, o.smoke ? 16 : 128),
        murl::testing_support::MakeChatCorpus(CorpusKind::Long, o.smoke ? 16 : 256)};
    Events mixed("mixed", lines[0]);
    Events long_lines("long", lines[1]);
    Events long_large("long_large", lines[2]);
    Events* corpora[kCorpora] = {&mixed, &long_lines, &long_large};
    Result results[kCorpora] = {};
    bool measured[kCorpora] = {};
    for (int i = 0; i < kCorpora; ++i) {
        if (!o.corpus.empty() && o.corpus != corpora[i]->name()) continue;
        if (!Measure(contenders, modules.paths().size(), *corpora[i], point, o, results[i])) {
            return 1;
        }
        measured[i] = true;
    }
    if (std::none_of(std::begin(measured), std::end(measured), [](bool m) { return m; })) {
        Fail("no such corpus");
        return 2;
    }
    // Allocations are counted exactly, so even a smoke run checks that events make none.
    for (int i = 0; i < kCorpora; ++i) {
        if (measured[i] && results[i].murl_allocs != 0) {
            Fail("murl.dll allocated while handling chat lines");
            return 1;
        }
    }
    // The mix has evades, resists and bot adverts; the long lines have none of them.
    if (measured[0] && results[0].eaten == 0) {
        Fail("murl.dll ate no line of the mix");
        return 1;
    }
    if (trace.FileBytes() == 0) {
        Fail("murl.dll traced wrote no trace file");
        return 1;
    }

    std::printf("\n%-10s %11s %11s %11s %11s %11s %11s %9s %9s %7s %7s\n", "corpus", "murl med",
                "murl best", "empty med", "empty best", "floor med", "floor best", "/empty",
                "/floor", "allocs", "eaten");
    for (int i = 0; i < kCorpora; ++i) {
        if (!measured[i]) continue;
        const Result& r = results[i];
        std::printf(
            "%-10s %8.1f ns %8.1f ns %8.1f ns %8.1f ns %8.1f ns %8.1f ns %9.2f %9.2f %7g "
            "%6.1f%%\n",
            corpora[i]->name().c_str(), r.murl_median, r.murl_best, r.empty_median, r.empty_best,
            r.floor_median, r.floor_best, r.murl_median / r.empty_median,
            r.murl_median / r.floor_median, r.murl_allocs,
            100.0 * static_cast<double>(r.eaten) / static_cast<double>(corpora[i]->size()));
    }
    std::printf("\n%-10s %11s %11s %11s %13s %9s\n", "corpus", "traced med", "traced best",
                "trace cost", "traced allocs", "passes");
    for (int i = 0; i < kCorpora; ++i) {
        if (!measured[i]) continue;
        const Result& r = results[i];
        std::printf("%-10s %8.1f ns %8.1f ns %8.1f ns %13g %9d\n", corpora[i]->name().c_str(),
                    r.traced_median, r.traced_best, r.traced_median - r.murl_median,
                    r.traced_allocs, r.traced_passes);
    }
    std::printf(
        "\nns per ChatTextIntercept raised through the connection point (median and best of the "
        "samples); /empty and /floor: murl.dll's median over the empty sink's and the contract "
        "floor's; allocs: heap allocations by murl.dll per event; murl.dll with its trace off "
        "above, on below (trace cost: the traced median less the untraced one, a line to the "
        "debugger's output and to the trace file per event)\n"
        "processor: %s; murl.dll's search: %s%s\n",
        ProcessorName().c_str(), murl::utf16::SearchPathName(murl::utf16::BestSearchPath()),
        o.smoke ? "; smoke run, figures meaningless" : "");
    if (o.smoke) return 0;
    // murl.dll on each path, the narrower ones as MURL_SEARCH_PATH makes it take them.
    std::printf("\nmurl.dll on each path, ns per event (median) and over the contract floor\n");
    for (int i = 0; i < kCorpora; ++i) {
        if (!measured[i]) continue;
        const Result& r = results[i];
        for (size_t p = 0; p < modules.paths().size(); ++p) {
            const double median = p == 0 ? r.murl_median : r.narrower_median[p - 1];
            const double to_floor = median / r.floor_median;
            std::printf("target murl.dll/contract floor <= 1.3  %-10s %-10s %8.1f ns %6.2f  %s%s\n",
                        corpora[i]->name().c_str(), murl::utf16::SearchPathName(modules.paths()[p]),
                        median, to_floor, to_floor <= 1.3 ? "holds" : "MISSED",
                        p == 0 ? "" : " (forced)");
        }
        std::printf("target allocations per event  == 0    %-10s %6g  %s (Initialize: %ld)\n",
                    corpora[i]->name().c_str(), r.murl_allocs,
                    r.murl_allocs == 0 ? "holds" : "MISSED", r.initialise_allocs);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = Run(options);
    CoUninitialize();
    return status;
}
