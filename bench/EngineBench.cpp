// CPU cost of the doubler: the engine alone and the whole processBlock, per
// Mode, at 48 and 96 kHz, for several block sizes. Counters: "per_sample" is
// CPU time per sample, "realtime" the seconds of audio per second of CPU.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Controller.h"
#include "PluginProcessor.h"
#include "oracle/ReferenceController.h"

#include <cstdio>
#include <map>

namespace
{
std::vector<float> phrase (int rate, size_t n)
{
    std::vector<float> x (n);
    uint32_t s = 1;
    for (size_t i = 0; i < n; ++i)
    {
        s = s * 1664525u + 1013904223u;
        const double t = (double) (i % (size_t) (rate / 3)) / rate; // a new note every 1/3 s
        x[i] = (float) (0.5 * std::exp (-t * 8.0) * std::sin (2.0 * M_PI * 220.0 * t)) + 0.001f * ((float) (s >> 9) / 8388608.0f - 1.0f);
    }
    return x;
}

const float modeValues[] = { 0.0f, 1.0f / 3.0f, 2.0f / 3.0f, 1.0f };

void setCounters (benchmark::State& state, int block, int rate)
{
    const double samples = (double) state.iterations() * block;
    state.counters["per_sample"] = benchmark::Counter (samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter (samples / rate, benchmark::Counter::kIsRate);
}

template <typename Engine>
void BM_Engine (benchmark::State& state)
{
    const int mode = (int) state.range (0), rate = (int) state.range (1), block = (int) state.range (2);
    auto c = std::make_unique<Engine>();
    c->SetSamplerate (rate);
    c->applyParameter (0, modeValues[mode - 1]);
    c->applyParameter (1, 0.2f);
    c->applyParameter (2, 0.4f);
    c->applyParameter (3, 1.0f);
    const auto input = phrase (rate, (size_t) rate * 2);
    std::vector<float> io ((size_t) block);
    size_t pos = 0;

    for (auto _ : state)
    {
        if (pos + (size_t) block > input.size())
            pos = 0;
        std::copy (input.begin() + (long) pos, input.begin() + (long) pos + block, io.begin());
        ScopedFlushToZero ftz;
        c->process (io.data(), block);
        benchmark::DoNotOptimize (io.data());
        pos += (size_t) block;
    }
    setCounters (state, block, rate);
}

void BM_ProcessBlock (benchmark::State& state)
{
    const int mode = (int) state.range (0), rate = (int) state.range (1), block = (int) state.range (2);
    auto p = std::make_unique<VantorixAudioProcessor>();
    p->getParameters()[0]->setValueNotifyingHost (modeValues[mode - 1]);
    p->prepareToPlay (rate, block);
    const auto input = phrase (rate, (size_t) rate * 2);
    juce::AudioBuffer<float> buffer (1, block);
    juce::MidiBuffer midi;
    size_t pos = 0;

    for (auto _ : state)
    {
        if (pos + (size_t) block > input.size())
            pos = 0;
        buffer.copyFrom (0, 0, input.data() + pos, block);
        p->processBlock (buffer, midi);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
        pos += (size_t) block;
    }
    setCounters (state, block, rate);
}

void BM_ModeChange (benchmark::State& state)
{
    auto c = std::make_unique<Controller>();
    int k = 0;
    for (auto _ : state)
    {
        c->applyParameter (0, (k++ & 1) ? 1.0f : 0.7f); // 12 or 5 sections redesigned
        benchmark::ClobberMemory();
    }
}

void BM_Reset (benchmark::State& state)
{
    auto c = std::make_unique<Controller>();
    for (auto _ : state)
    {
        c->Reset();
        benchmark::ClobberMemory();
    }
}

void arguments (benchmark::internal::Benchmark* b)
{
    b->ArgNames ({ "mode", "rate", "block" });
    for (int mode = 1; mode <= 4; ++mode)
        for (int rate : { 48000, 96000 })
            for (int block : { 32, 64, 512, 4096 })
                b->Args ({ mode, rate, block });
}
} // namespace

BENCHMARK_TEMPLATE (BM_Engine, Controller)->Name ("Engine")->Apply (arguments);
BENCHMARK_TEMPLATE (BM_Engine, reference::Controller)->Name ("Straightforward")->Apply (arguments);
BENCHMARK (BM_ProcessBlock)->Apply (arguments);
BENCHMARK (BM_ModeChange);
BENCHMARK (BM_Reset);

namespace
{
// Prints the normal console output, then the optimised engine against the
// straightforward one, case by case, from the same run.
struct RatioReporter : benchmark::ConsoleReporter
{
    std::map<std::string, double> perSample; // name -> ns per sample

    void ReportRuns (const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns (runs);
        for (const auto& r : runs)
            if (r.counters.count ("per_sample"))
                perSample[r.benchmark_name()] = r.counters.at ("per_sample") * 1e9;
    }

    void printRatios() const
    {
        std::printf ("\n%-28s %12s %12s %8s %14s\n", "case", "ns/sample", "oracle ns", "speedup", "x real time");
        for (const auto& [name, ns] : perSample)
        {
            if (name.rfind ("Engine/", 0) != 0)
                continue;
            const auto args = name.substr (7);
            const auto ref = perSample.find ("Straightforward/" + args);
            const auto ratePos = args.find ("rate:") + 5;
            const double rate = std::stod (args.substr (ratePos));
            std::printf ("%-28s %12.2f %12.2f %8.2f %14.0f\n", args.c_str(), ns, ref != perSample.end() ? ref->second : 0.0,
                         ref != perSample.end() ? ref->second / ns : 0.0, 1e9 / (ns * rate));
        }
    }
};
} // namespace

int main (int argc, char** argv)
{
    benchmark::Initialize (&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
