// The chat filter against its alternatives, per chat line of a realistic corpus:
//   Filter:      the plug-in's ChatTextIntercept, raised through the simulated host's hooks;
//   Pcre2, Re2, Hyperscan: the same six rules given to each engine as a user would write them;
//   FloorScalar: a sink in the plug-in's place that steps through each line one unit at a time;
//   FloorSimd:   a sink in the plug-in's place that makes one vectorised pass over each line
//                (the C library's memchr over its bytes, for a byte that never occurs);
//   FloorContract: FloorSimd plus what the host contract demands of any plug-in per line:
//                reading, through the host's check boxes, every switch the line's colour makes
//                the rules read.
// Each benchmark also counts the heap allocations made per line. A summary with the ratios
// follows the table.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "chat_corpus.h"
#include "counting_new.h"
#include "filter_rig.h"
#include "host/text.h"
#include "plugin/utf16_search.h"
#include "regex_peers.h"

namespace murl::bench {
namespace {

// The corpora: the fight's mix in about 250 KiB of text, which stays in the second-level cache
// as a line just written by the game would be; the same mix in 2 MiB, which does not; and
// lines of 1024 characters and more.
enum class Set { Mixed, MixedLarge, Long };

const std::vector<ChatLine>& Corpus(Set set) {
    static const auto mixed = MakeChatCorpus(CorpusKind::Mixed, 1024);
    static const auto mixed_large = MakeChatCorpus(CorpusKind::Mixed, 8192);
    static const auto long_lines = MakeChatCorpus(CorpusKind::Long, 256);
    switch (set) {
        case Set::Mixed:
            return mixed;
        case Set::MixedLarge:
            return mixed_large;
        case Set::Long:
            break;
    }
    return long_lines;
}

const std::vector<Utf8Line>& Utf8Corpus(Set set) {
    static const auto mixed = ToUtf8Lines(Corpus(Set::Mixed));
    static const auto mixed_large = ToUtf8Lines(Corpus(Set::MixedLarge));
    static const auto long_lines = ToUtf8Lines(Corpus(Set::Long));
    return set == Set::Mixed ? mixed : set == Set::MixedLarge ? mixed_large : long_lines;
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

// Every contender must eat exactly the same lines before their speeds mean anything, and the
// floors must find nothing, so that they read every line to its end.
void CheckAgreement(Set set) {
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
            throw std::runtime_error(std::string("the filter and ") + differs +
                                     " disagree on colour " + std::to_string(line.colour) + " \"" +
                                     ToUtf8(line.text) + "\"");
        }
    }
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
// ratios once all have run.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            const auto lines = run.counters.find("lines");
            if (lines == run.counters.end()) continue;
            auto& figure = figures_[run.benchmark_name()];
            figure.ns.push_back(run.real_accumulated_time * 1e9 /
                                (static_cast<double>(run.iterations) * lines->second.value));
            figure.allocs = std::max(figure.allocs, run.counters.at("allocs/line").value);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() const {
        static constexpr const char* kPeers[] = {"Pcre2",       "Re2",       "Hyperscan",
                                                 "FloorScalar", "FloorSimd", "FloorContract"};
        static constexpr const char* kColumns[] = {"pcre2",        "re2",        "hyperscan",
                                                   "floor_scalar", "floor_simd", "floor_contract"};
        std::printf("\nns per line (median)\n%-12s %10s", "corpus", "filter");
        for (const char* column : kColumns) std::printf(" %14s", column);
        std::printf(" %12s\n", "allocs/line");
        for (const char* corpus : kCorpora) {
            std::printf("%-12s %10.1f", corpus, Ns("Filter", corpus));
            for (const char* peer : kPeers) std::printf(" %14.1f", Ns(peer, corpus));
            std::printf(" %12g\n", Allocs("Filter", corpus));
        }
        std::printf("\nfilter / each\n%-12s", "corpus");
        for (const char* column : kColumns) std::printf(" %14s", column);
        std::printf("\n");
        for (const char* corpus : kCorpora) {
            std::printf("%-12s", corpus);
            for (const char* peer : kPeers) std::printf(" %14.3f", Ratio(peer, corpus));
            std::printf("\n");
        }

        std::printf("\nprocessor: %s; the filter's search takes %zu units a step\n",
                    ProcessorName().c_str(), utf16::SearchStepUnits());
        struct Target {
            const char* peer;
            const char* label;
            double most;
            std::vector<const char*> corpora;
        };
        const Target targets[] = {
            {"Pcre2", "filter/pcre2", 0.2, {"mixed", "mixed_large", "long"}},
            {"Re2", "filter/re2", 0.2, {"mixed", "mixed_large", "long"}},
            {"Hyperscan", "filter/hyperscan", 0.5, {"mixed", "mixed_large", "long"}},
            {"FloorSimd", "filter/floor_simd", 1.5, {"mixed", "long"}},
            {"FloorContract", "filter/floor_contract", 1.25, {"mixed", "long"}},
        };
        for (const Target& target : targets) {
            for (const char* corpus : target.corpora) {
                const double ratio = Ratio(target.peer, corpus);
                std::printf("target %-22s <= %-5g %-12s %7.3f  %s\n", target.label, target.most,
                            corpus, ratio,
                            ratio == 0             ? "not run"
                            : ratio <= target.most ? "holds"
                                                   : "MISSED");
            }
        }
        for (const char* corpus : kCorpora) {
            const double allocs = Allocs("Filter", corpus);
            std::printf("target %-22s == 0     %-12s %7g  %s\n", "allocs/line", corpus, allocs,
                        allocs == 0 ? "holds" : "MISSED");
        }
    }

private:
    struct Figure {
        std::vector<double> ns;  // one per repetition
        double allocs = 0;
    };
    // The median over repetitions: a run disturbed by other work on the machine does not move it.
    static constexpr const char* kCorpora[] = {"mixed", "mixed_large", "long"};

    double Ns(const std::string& engine, const char* corpus) const {
        const auto it = figures_.find("BM_" + engine + "/" + corpus);
        if (it == figures_.end() || it->second.ns.empty()) return 0;
        auto ns = it->second.ns;
        std::sort(ns.begin(), ns.end());
        const size_t n = ns.size();
        return n % 2 ? ns[n / 2] : (ns[n / 2 - 1] + ns[n / 2]) / 2;
    }
    double Ratio(const std::string& peer, const char* corpus) const {
        const double ns = Ns(peer, corpus);
        return ns > 0 ? Ns("Filter", corpus) / ns : 0.0;
    }
    double Allocs(const std::string& engine, const char* corpus) const {
        const auto it = figures_.find("BM_" + engine + "/" + corpus);
        return it == figures_.end() ? 0 : it->second.allocs;
    }
    std::map<std::string, Figure> figures_;
};

}  // namespace
}  // namespace murl::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (auto set :
         {murl::bench::Set::Mixed, murl::bench::Set::MixedLarge, murl::bench::Set::Long}) {
        murl::bench::CheckAgreement(set);
    }
    murl::bench::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
