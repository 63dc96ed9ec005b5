// The chat filter against its alternatives, per chat line of a realistic corpus:
//   Filter:      the plug-in's ChatTextIntercept, raised through the simulated host's hooks;
//   Pcre2, Re2, Hyperscan: the same six rules given to each engine as a user would write them;
//   FloorScalar: a sink in the plug-in's place that steps through each line one unit at a time;
//   FloorSimd:   a sink in the plug-in's place that makes one vectorised pass over each line
//                (the C library's memchr over its bytes, for a byte that never occurs);
//   FloorContract: FloorSimd plus what the host contract demands of any plug-in per line:
//                reading, through the host's check boxes, every switch the line's colour makes
//                the rules read.
// Each benchmark also counts the heap allocations made per line. The filter runs once on the
// widest search path the processor has and once on each narrower one it can be made to take. A
// summary with the ratios follows the table.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "chat_corpus.h"
#include "counting_new.h"
#include "filter_rig.h"
#include "plugin/search/search.h"
#include "regex_peers.h"
#include "text/text.h"

namespace murl::bench {
using namespace testing_support;  // NOLINT(google-build-using-namespace)
namespace {

// The corpora, each in a size that stays in the second-level cache, as a line just written by
// the game would be, and in one that does not: the fight's mix (about 250 KiB of text, and
// 2 MiB) and lines of 1024 characters and more (about 560 KiB, and 1.1 MiB).
enum class Set { Mixed, MixedLarge, Long, LongLarge };
constexpr Set kSets[] = {Set::Mixed, Set::MixedLarge, Set::Long, Set::LongLarge};

const std::vector<ChatLine>& Corpus(Set set) {
    static const std::vector<ChatLine> corpora[] = {
        MakeChatCorpus(CorpusKind::Mixed, 1024), MakeChatCorpus(CorpusKind::Mixed, 8192),
        MakeChatCorpus(CorpusKind::Long, 128), MakeChatCorpus(CorpusKind::Long, 256)};
    return corpora[static_cast<size_t>(set)];
}

const std::vector<Utf8Line>& Utf8Corpus(Set set) {
    static const std::vector<Utf8Line> corpora[] = {
        ToUtf8Lines(Corpus(Set::Mixed)), ToUtf8Lines(Corpus(Set::MixedLarge)),
        ToUtf8Lines(Corpus(Set::Long)), ToUtf8Lines(Corpus(Set::LongLarge))};
    return corpora[static_cast<size_t>(set)];
}

// The floors' searches: a unit and a byte that occur in no line of the corpora (checked before
// timing), so that each pass reads the whole line.
constexpr char16_t kAbsentUnit = u'\uFFFF';
constexpr int kAbsentByte = 0xFF;

bool ScalarPass(std::u16string_view text) {
    for (const char16_t unit : text) {
        if (unit == kAbsentUnit) return true;
    }
    return false;
}

bool SimdPass(std::u16string_view text) {
    return std::memchr(text.data(), kAbsentByte, text.size() * sizeof(char16_t)) != nullptr;
}

// Time per line and allocations per line, on top of Google Benchmark's own figures.
void SetLineCounters(benchmark::State& state, size_t lines, uint64_t allocations) {
    const double total = static_cast<double>(state.iterations()) * static_cast<double>(lines);
    state.SetItemsProcessed(static_cast<int64_t>(total));
    state.counters["allocs/line"] = static_cast<double>(allocations) / total;
    state.counters["lines"] = static_cast<double>(lines);
}

void BM_Filter(benchmark::State& state, Set set) {
    const auto& corpus = Corpus(set);
    FilterRig rig;
    rig.SetSwitches(kHostTrue);
    const uint64_t before = AllocationCount();
    for (auto _ : state) {
        int eaten = 0;
        for (const auto& line : corpus) eaten += rig.Chat(line.text, line.colour) != 0;
        benchmark::DoNotOptimize(eaten);
    }
    SetLineCounters(state, corpus.size(), AllocationCount() - before);
}

// The filter with its search made to take a narrower path than the processor's widest.
void BM_FilterOn(benchmark::State& state, utf16::SearchPath path, Set set) {
    utf16::ForceSearchPath(path);
    BM_Filter(state, set);
    utf16::ForceSearchPath(utf16::BestSearchPath());
}

// A regular-expression peer over the corpus in its own text form.
template <class Peer, class Lines>
void RunPeer(benchmark::State& state, const Lines& lines) {
    Peer peer;
    for (const auto& line : lines) peer.Eats(line);  // grows the subject buffer once
    const uint64_t before = AllocationCount();
    for (auto _ : state) {
        int eaten = 0;
        for (const auto& line : lines) eaten += peer.Eats(line);
        benchmark::DoNotOptimize(eaten);
    }
    SetLineCounters(state, lines.size(), AllocationCount() - before);
}

void BM_Pcre2(benchmark::State& state, Set set) {
    RunPeer<Pcre2Filter>(state, Corpus(set));
}
void BM_Re2(benchmark::State& state, Set set) {
    RunPeer<Re2Filter>(state, Utf8Corpus(set));
}
void BM_Hyperscan(benchmark::State& state, Set set) {
    RunPeer<HyperscanFilter>(state, Utf8Corpus(set));
}

// A sink in the plug-in's place: `Rig` is SinkRig, or ContractFloorRig with the switch reads.
template <class Rig>
void RunFloor(benchmark::State& state, Set set, SinkRig::Decision pass) {
    const auto& corpus = Corpus(set);
    Rig rig(pass);
    const uint64_t before = AllocationCount();
    for (auto _ : state) {
        int eaten = 0;
        for (const auto& line : corpus) eaten += rig.Chat(line.text, line.colour) != 0;
        benchmark::DoNotOptimize(eaten);
    }
    SetLineCounters(state, corpus.size(), AllocationCount() - before);
}

void BM_FloorScalar(benchmark::State& state, Set set) {
    RunFloor<SinkRig>(state, set, ScalarPass);
}
void BM_FloorSimd(benchmark::State& state, Set set) {
    RunFloor<SinkRig>(state, set, SimdPass);
}
void BM_FloorContract(benchmark::State& state, Set set) {
    RunFloor<ContractFloorRig>(state, set, SimdPass);
}

#define MURL_BENCH_CORPUS(name, set)              \
    BENCHMARK_CAPTURE(BM_Filter, name, set);      \
    BENCHMARK_CAPTURE(BM_Pcre2, name, set);       \
    BENCHMARK_CAPTURE(BM_Re2, name, set);         \
    BENCHMARK_CAPTURE(BM_Hyperscan, name, set);   \
    BENCHMARK_CAPTURE(BM_FloorScalar, name, set); \
    BENCHMARK_CAPTURE(BM_FloorSimd, name, set);   \
    BENCHMARK_CAPTURE(BM_FloorContract, name, set)
MURL_BENCH_CORPUS(mixed, Set::Mixed);
MURL_BENCH_CORPUS(mixed_large, Set::MixedLarge);
MURL_BENCH_CORPUS(long, Set::Long);
MURL_BENCH_CORPUS(long_large, Set::LongLarge);

constexpr const char* kCorpusNames[] = {"mixed", "mixed_large", "long", "long_large"};

// The search paths narrower than the widest that this processor can take, each with its name in
// the filter's benchmarks (BM_Filter_AVX2/mixed, ...).
std::vector<utf16::SearchPath> NarrowerPaths() {
    std::vector<utf16::SearchPath> paths;
    for (const utf16::SearchPath path : utf16::kSearchPaths) {
        if (path != utf16::SearchPath::kPlain && path < utf16::BestSearchPath()) {
            paths.insert(paths.begin(), path);  // the widest first
        }
    }
    return paths;
}

std::string FilterOn(utf16::SearchPath path) {
    std::string name = std::string("Filter_") + utf16::SearchPathName(path);
    name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
    return name;
}

void RegisterNarrowerPaths() {
    for (const utf16::SearchPath path : NarrowerPaths()) {
        for (const Set set : kSets) {
            benchmark::RegisterBenchmark(
                ("BM_" + FilterOn(path) + "/" + kCorpusNames[static_cast<size_t>(set)]).c_str(),
                BM_FilterOn, path, set);
        }
    }
}

// Every contender must eat exactly the same lines before their speeds mean anything, and the
// floors must find nothing, so that they read every line to its end.
void CheckAgreement(Set set, utf16::SearchPath path) {
    utf16::ForceSearchPath(path);
    FilterRig rig;
    rig.SetSwitches(kHostTrue);
    Pcre2Filter pcre;
    Re2Filter re2;
    HyperscanFilter hyperscan;
    ContractFloorRig contract(SimdPass);
    const auto& lines = Corpus(set);
    const auto& utf8 = Utf8Corpus(set);
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto& line = lines[i];
        const bool plugin = rig.Chat(line.text, line.colour) != 0;
        const char* differs = plugin != pcre.Eats(line)           ? "PCRE2"
                              : plugin != re2.Eats(utf8[i])       ? "RE2"
                              : plugin != hyperscan.Eats(utf8[i]) ? "Hyperscan"
                              : ScalarPass(line.text) || SimdPass(line.text) ||
                                      contract.Chat(line.text, line.colour) != 0
                                  ? "a floor"
                                  : nullptr;
        if (differs) {
            throw std::runtime_error(std::string("the filter (search ") +
                                     utf16::SearchPathName(path) + ") and " + differs +
                                     " disagree on colour " + std::to_string(line.colour) + " \"" +
                                     ToUtf8(line.text) + "\"");
        }
    }
    utf16::ForceSearchPath(utf16::BestSearchPath());
}

// The processor's model name, as the system reports it.
std::string ProcessorName() {
    std::FILE* info = std::fopen("/proc/cpuinfo", "r");
    if (!info) return "unknown";
    char line[512];
    std::string name = "unknown";
    while (std::fgets(line, sizeof line, info)) {
        if (std::strncmp(line, "model name", 10) != 0) continue;
        const char* colon = std::strchr(line, ':');
        if (!colon) continue;
        name = colon + 1;
        name.erase(0, name.find_first_not_of(' '));
        name.erase(name.find_last_not_of('\n') + 1);
        break;
    }
    std::fclose(info);
    return name;
}

// Console output as usual, plus a summary of ns per line (median of the repetitions) and the
// ratios once all have run. The time is the processor time of the benchmark's thread, which on a
// quiet machine is its wall time, and on a shared one leaves out the time other work took.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const auto lines = run.counters.find("lines");
            if (lines == run.counters.end()) continue;
            auto& figure = figures_[run.benchmark_name()];
            figure.ns.push_back(run.cpu_accumulated_time * 1e9 /
                                (static_cast<double>(run.iterations) * lines->second.value));
            figure.allocs = std::max(figure.allocs, run.counters.at("allocs/line").value);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() const {
        std::vector<std::string> filters{"Filter"};
        for (const utf16::SearchPath path : NarrowerPaths()) filters.push_back(FilterOn(path));
        std::printf("\nns per line (median)\n%-12s", "corpus");
        for (const std::string& filter : filters) std::printf(" %14s", Column(filter).c_str());
        for (const char* column : kColumns) std::printf(" %14s", column);
        std::printf(" %12s\n", "allocs/line");
        for (const char* corpus : kCorpusNames) {
            std::printf("%-12s", corpus);
            for (const std::string& filter : filters) std::printf(" %14.1f", Ns(filter, corpus));
            for (const char* peer : kPeers) std::printf(" %14.1f", Ns(peer, corpus));
            std::printf(" %12g\n", Allocs(filters, corpus));
        }
        std::printf("\nprocessor: %s\n", ProcessorName().c_str());
        for (size_t i = 0; i < filters.size(); ++i) {
            const utf16::SearchPath path =
                i == 0 ? utf16::BestSearchPath() : NarrowerPaths()[i - 1];
            PrintRatios(filters[i], path, i == 0);
        }
        std::printf("\n");
        for (const char* corpus : kCorpusNames) {
            const double allocs = Allocs(filters, corpus);
            std::printf("target %-28s == 0     %-12s %7g  %s\n", "allocs/line", corpus, allocs,
                        allocs == 0 ? "holds" : "MISSED");
        }
    }

private:
    static constexpr const char* kPeers[] = {"Pcre2",       "Re2",       "Hyperscan",
                                             "FloorScalar", "FloorSimd", "FloorContract"};
    static constexpr const char* kColumns[] = {"pcre2",        "re2",        "hyperscan",
                                               "floor_scalar", "floor_simd", "floor_contract"};

    static std::string Column(const std::string& filter) {
        std::string column = filter;
        std::transform(column.begin(), column.end(), column.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return column;
    }

    // The ratios of `filter` (the filter with its search on `path`) to each peer, and the
    // targets; the search's path is named, so that figures from another processor compare.
    void PrintRatios(const std::string& filter, utf16::SearchPath path, bool widest) const {
        std::printf("\n%s / each, the search %s (%s)\n%-12s", Column(filter).c_str(),
                    utf16::SearchPathName(path),
                    widest ? "the widest here" : "forced, as a processor without the wider runs it",
                    "corpus");
        for (const char* column : kColumns) std::printf(" %14s", column);
        std::printf("\n");
        for (const char* corpus : kCorpusNames) {
            std::printf("%-12s", corpus);
            for (const char* peer : kPeers) std::printf(" %14.3f", Ratio(filter, peer, corpus));
            std::printf("\n");
        }
        struct Target {
            const char* peer;
            const char* label;
            double most;
            std::vector<const char*> corpora;
        };
        const std::vector<const char*> all(std::begin(kCorpusNames), std::end(kCorpusNames));
        const Target targets[] = {
            {"Pcre2", "/pcre2", 0.2, all},
            {"Re2", "/re2", 0.2, all},
            {"Hyperscan", "/hyperscan", 0.5, all},
            {"FloorSimd", "/floor_simd", 1.5, {"mixed", "long"}},
            // The widest path within a quarter of the floor; a narrower one, as a processor
            // without the wider runs it, within a half.
            {"FloorContract", "/floor_contract", widest ? 1.25 : 1.5, {"mixed", "long"}},
        };
        for (const Target& target : targets) {
            for (const char* corpus : target.corpora) {
                const double ratio = Ratio(filter, target.peer, corpus);
                const std::string label = Column(filter) + target.label;
                std::printf("target %-28s <= %-5g %-12s %7.3f  %s (%s)\n", label.c_str(),
                            target.most, corpus, ratio,
                            ratio == 0             ? "not run"
                            : ratio <= target.most ? "holds"
                                                   : "MISSED",
                            utf16::SearchPathName(path));
            }
        }
    }

    struct Figure {
        std::vector<double> ns;  // one per repetition
        double allocs = 0;
    };
    // The median over repetitions: a run disturbed by other work on the machine does not move it.
    double Ns(const std::string& engine, const char* corpus) const {
        const auto it = figures_.find("BM_" + engine + "/" + corpus);
        if (it == figures_.end() || it->second.ns.empty()) return 0;
        auto ns = it->second.ns;
        std::sort(ns.begin(), ns.end());
        const size_t n = ns.size();
        return n % 2 ? ns[n / 2] : (ns[n / 2 - 1] + ns[n / 2]) / 2;
    }
    double Ratio(const std::string& filter, const std::string& peer, const char* corpus) const {
        const double ns = Ns(peer, corpus);
        return ns > 0 ? Ns(filter, corpus) / ns : 0.0;
    }
    // The most allocations per line of any of the filter's runs.
    double Allocs(const std::vector<std::string>& filters, const char* corpus) const {
        double most = 0;
        for (const std::string& filter : filters) {
            const auto it = figures_.find("BM_" + filter + "/" + corpus);
            if (it != figures_.end()) most = std::max(most, it->second.allocs);
        }
        return most;
    }
    std::map<std::string, Figure> figures_;
};

}  // namespace
}  // namespace murl::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (const auto set : murl::bench::kSets) {
        for (const auto path : murl::utf16::kSearchPaths) {
            if (path <= murl::utf16::BestSearchPath()) murl::bench::CheckAgreement(set, path);
        }
    }
    murl::bench::RegisterNarrowerPaths();
    murl::bench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
