// murl-sim's whole path for a scenario of N chat lines: checking the file, playing every line
// against the plug-in through the simulated host, and writing the JSON transcript. The time
// per line must not grow with N.

#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>
#include <string>

#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_settings_store.h"
#include "sim/builtin_binding.h"
#include "sim/runner.h"
#include "sim/scenario.h"
#include "sim/sim_host.h"
#include "sim/transcript.h"
#include "sim/xml_parser.h"

namespace murl::sim {
namespace {

// A hunting session's mix: evades, zero-damage hits, resists, expirations, bot lines and
// ordinary chat, with the bot filter on.
std::string Scenario(int64_t lines) {
    static const char* const kLines[] = {
        "chat 21 You evaded the Bog Gnawer!",
        "chat 21 The Bog Gnawer hits you for 0 points of damage.",
        "chat 7 You resist the spell cast by Mireling Witch.",
        "chat 7 Your Stoneskin spell has expired.",
        "chat 5 [Trade] Vendorbot -t- selling scrolls at the market",
        "chat 5 Hello there, anyone up for the crypt?",
        "chat 21 You hit the Bog Gnawer for 14 points of slashing damage.",
        "chat 0 Millford says, \"Meet at the waystone.\"",
    };
    std::string content = "init\ncheck chkBots on\n";
    for (int64_t i = 0; i < lines; ++i) {
        content += kLines[i % std::size(kLines)];
        content += '\n';
    }
    content += "hit cmdOut\n";
    return content;
}

class CountingBuffer final : public std::streambuf {
public:
    size_t bytes = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += static_cast<size_t>(n);
        return n;
    }
    int_type overflow(int_type c) override {
        ++bytes;
        return c;
    }
};

void BM_PlayScenario(benchmark::State& state) {
    const std::string content = Scenario(state.range(0));
    size_t bytes = 0;
    for (auto _ : state) {
        FakePlatform fakes(u'/');
        FakeSettingsStore store;
        auto parser = MakeXmlParser();
        SimHost host(*parser);
        const Platform platform = fakes.MakePlatform(store);
        BuiltinBinding plugin(platform);
        ErrorLogFaults error_log(platform, plugin);
        CountingBuffer buffer;
        std::ostream out(&buffer);
        JsonTranscript transcript(out);
        if (!CheckScenario(content).empty()) state.SkipWithError("scenario does not parse");
        Runner(host, plugin, transcript, error_log).Run(content);
        transcript.Flush();
        bytes = buffer.bytes;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content.size()));
    state.SetComplexityN(state.range(0));
    state.counters["transcript_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_PlayScenario)
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace murl::sim

BENCHMARK_MAIN();
