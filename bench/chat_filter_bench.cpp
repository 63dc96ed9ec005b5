// The chat filter against its alternatives, per chat line of a realistic corpus:
//   Filter: the plug-in's ChatTextIntercept, raised through the simulated host's hooks;
//   Pcre2:  the same six rules as one PCRE2 expression with the JIT, as a user would write it;
//   Floor:  one plain pass over each line (a search for a code unit that never occurs).
// Each benchmark also counts the heap allocations made per line. A summary with the ratios
// follows the table.

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "chat_corpus.h"
#include "counting_new.h"
#include "filter_rig.h"
#include "host/text.h"

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

// A regular-expression filter sees text, not numbers, so the colour goes in front of the
// line: "21<TAB>You evaded ...". The six rules with every switch on.
constexpr char16_t kPattern[] =
    u"^(?:21\\t(?:You evaded |.*?for 0 points of)|7\\t(?:You resist|.*?has expired\\.))"
    u"|(?i:-t-|-b-)";

class Pcre2Filter {
public:
    Pcre2Filter() {
        int error = 0;
        PCRE2_SIZE offset = 0;
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED,
                              PCRE2_DOTALL, &error, &offset, nullptr);
        if (!code_) throw std::runtime_error("pattern does not compile");
        if (pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) != 0) throw std::runtime_error("no JIT");
        match_ = pcre2_match_data_create_from_pattern(code_, nullptr);
    }
    ~Pcre2Filter() {
        pcre2_match_data_free(match_);
        pcre2_code_free(code_);
    }
    Pcre2Filter(const Pcre2Filter&) = delete;
    Pcre2Filter& operator=(const Pcre2Filter&) = delete;

    // Puts the colour in front of the text in a reused buffer, then matches.
    bool Eats(const ChatLine& line) {
        subject_.clear();
        AppendColour(line.colour);
        subject_ += u'\t';
        subject_ += line.text;
        return pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject_.data()), subject_.size(), 0,
                           0, match_, nullptr) >= 0;
    }

private:
    void AppendColour(int32_t colour) {
        char digits[16];
        const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, colour);
        for (const char* c = digits; c != end; ++c) subject_ += static_cast<char16_t>(*c);
    }

    pcre2_code* code_;
    pcre2_match_data* match_;
    std::u16string subject_;
};

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

void BM_Pcre2(benchmark::State& state, Set set) {
    const auto& corpus = Corpus(set);
    Pcre2Filter filter;
    for (const auto& line : corpus) filter.Eats(line);  // grows the subject buffer once
    const uint64_t before = AllocationCount();
    for (auto _ : state) {
        int eaten = 0;
        for (const auto& line : corpus) eaten += filter.Eats(line);
        benchmark::DoNotOptimize(eaten);
    }
    SetLineCounters(state, corpus.size(), AllocationCount() - before);
}

void BM_Floor(benchmark::State& state, Set set) {
    const auto& corpus = Corpus(set);
    const uint64_t before = AllocationCount();
    for (auto _ : state) {
        size_t found = 0;
        for (const auto& line : corpus) {
            std::u16string_view text = line.text;
            benchmark::DoNotOptimize(text);
            found += text.find(u'\uFFFF');
        }
        benchmark::DoNotOptimize(found);
    }
    SetLineCounters(state, corpus.size(), AllocationCount() - before);
}

BENCHMARK_CAPTURE(BM_Filter, mixed, Set::Mixed);
BENCHMARK_CAPTURE(BM_Pcre2, mixed, Set::Mixed);
BENCHMARK_CAPTURE(BM_Floor, mixed, Set::Mixed);
BENCHMARK_CAPTURE(BM_Filter, mixed_large, Set::MixedLarge);
BENCHMARK_CAPTURE(BM_Pcre2, mixed_large, Set::MixedLarge);
BENCHMARK_CAPTURE(BM_Floor, mixed_large, Set::MixedLarge);
BENCHMARK_CAPTURE(BM_Filter, long, Set::Long);
BENCHMARK_CAPTURE(BM_Pcre2, long, Set::Long);
BENCHMARK_CAPTURE(BM_Floor, long, Set::Long);

// Both filters must agree on every line before their speeds mean anything.
void CheckAgreement(Set set) {
    FilterRig rig;
    rig.SetSwitches(kHostTrue);
    Pcre2Filter pcre;
    for (const auto& line : Corpus(set)) {
        const bool plugin = rig.Chat(line.text, line.colour) != 0;
        if (plugin != pcre.Eats(line)) {
            throw std::runtime_error("filters disagree on colour " + std::to_string(line.colour) +
                                     " \"" + ToUtf8(line.text) + "\"");
        }
    }
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
        std::printf("\n%-12s %12s %12s %12s %14s %14s %12s\n", "corpus", "filter ns", "pcre2 ns",
                    "floor ns", "filter/pcre2", "filter/floor", "allocs/line");
        for (const char* corpus : {"mixed", "mixed_large", "long"}) {
            const double filter = Ns("BM_Filter/", corpus);
            const double pcre = Ns("BM_Pcre2/", corpus);
            const double floor = Ns("BM_Floor/", corpus);
            if (filter <= 0 || pcre <= 0 || floor <= 0) continue;
            std::printf("%-12s %12.1f %12.1f %12.1f %14.3f %14.2f %12g\n", corpus, filter, pcre,
                        floor, filter / pcre, filter / floor, Allocs("BM_Filter/", corpus));
        }
        std::printf("targets: filter/pcre2 <= 0.2 (5x faster), filter/floor <= 3, 0 allocs/line\n");
    }

private:
    struct Figure {
        std::vector<double> ns;  // one per repetition
        double allocs = 0;
    };
    // The median over repetitions: a run disturbed by other work on the machine does not move it.
    double Ns(const std::string& engine, const char* corpus) const {
        const auto it = figures_.find(engine + corpus);
        if (it == figures_.end() || it->second.ns.empty()) return 0;
        auto ns = it->second.ns;
        std::sort(ns.begin(), ns.end());
        const size_t n = ns.size();
        return n % 2 ? ns[n / 2] : (ns[n / 2 - 1] + ns[n / 2]) / 2;
    }
    double Allocs(const std::string& engine, const char* corpus) const {
        const auto it = figures_.find(engine + corpus);
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
