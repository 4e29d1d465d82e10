// The doubling engine on its own: set-up, detector, drift, all-pass network,
// Timing line, polarity and the floating-point mode.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Controller.h"
#include "TestSignals.h"

namespace
{
std::unique_ptr<Controller> makeEngine (int rate = 48000)
{
    auto c = std::make_unique<Controller>();
    c->SetSamplerate (rate);
    return c;
}

uint32_t bits (float f)
{
    uint32_t u;
    std::memcpy (&u, &f, sizeof u);
    return u;
}

std::vector<float> run (Controller& c, std::vector<float> x, int block)
{
    ScopedFlushToZero ftz;
    for (size_t pos = 0; pos < x.size(); pos += (size_t) block)
        c.process (x.data() + pos, (int) std::min<size_t> ((size_t) block, x.size() - pos));
    return x;
}
} // namespace

TEST (EngineSetup, ConstructionAt48kHz)
{
    auto c = std::make_unique<Controller>();
    EXPECT_EQ (c->sampleRate, 48000);
    EXPECT_EQ (c->centreDelay, 480.0f);
    EXPECT_EQ (c->minDelay, 96.0f);
    EXPECT_EQ (c->maxDelay, 960.0f);
    EXPECT_EQ (c->currentDelay, 480.0f);
    EXPECT_EQ (c->activeSections, 3);
    EXPECT_EQ (c->timingDelaySamples, 1);
    EXPECT_EQ (c->timingReadIndex, 47999);
    EXPECT_FALSE (c->armed);
    EXPECT_EQ (c->runsSinceDrift, 100000);
    for (int k = 3; k < 12; ++k)
        EXPECT_EQ (c->sections[k].frequency, 500.0f) << k;
}

TEST (EngineSetup, AllpassDesign1100HzAt48kHz)
{
    AllpassSection s;
    s.sampleRate = 48000.0;
    s.frequency = 1100.0f;
    s.q = 1.0f;
    s.design();
    EXPECT_NEAR (s.b0, 0.866113, 1e-6);
    EXPECT_NEAR (s.b1, -1.846802, 1e-6);
    EXPECT_EQ (bits (s.a1), bits (s.b1));
    EXPECT_EQ (s.b2, 1.0f);
    EXPECT_EQ (bits (s.a2), bits (s.b0 * 0.999999f));
    EXPECT_NEAR (s.a2, 0.866112, 1e-6);
    // Pinned to the bit: the 32-bit steps of the design, no FMA.
    EXPECT_EQ (bits (s.b0), 0x3f5db999u);
    EXPECT_EQ (bits (s.b1), 0xbfec63feu);
    EXPECT_EQ (bits (s.a2), 0x3f5db98au);
    EXPECT_FALSE (s.dirty);
}

TEST (EngineSetup, TimingDelayFollowsRateAndClamps)
{
    struct Case
    {
        int rate;
        float timingValue;
        int expected;
    };
    // 0.5 is exactly 15 ms; 0.2f gives 6 ms (288 samples at 48 kHz).
    const Case cases[] = {
        { 48000, 0.5f, 720 }, { 44100, 0.5f, 661 }, { 48000, 0.0f, 1 }, { 48000, 1.0f, 1440 },
        { 48000, 0.2f, 288 }, { 96000, 1.0f, 2880 }, { 2000000, 1.0f, 47900 },
    };

    for (const auto& k : cases)
    {
        auto c = makeEngine (48000);
        c->applyParameter (1, k.timingValue);
        c->SetSamplerate (k.rate);
        EXPECT_EQ (c->timingDelaySamples, k.expected) << k.rate << " " << k.timingValue;
        EXPECT_EQ (c->timingReadIndex, (c->timingWriteIndex - k.expected + 48000) % 48000);

        // The same again via the parameter handler at that rate.
        c->applyParameter (1, k.timingValue);
        EXPECT_EQ (c->timingDelaySamples, k.expected);
    }
}

TEST (EngineSetup, RepeatingARateChangeGivesTheSameDelay)
{
    auto c = makeEngine (48000);
    c->applyParameter (1, 0.5f);
    c->SetSamplerate (44100);
    c->SetSamplerate (48000);
    c->SetSamplerate (44100);
    EXPECT_EQ (c->timingDelaySamples, 661);
    EXPECT_EQ (c->timingMs, 15.0f);
}

TEST (EngineSetup, ResetClearsSignalStateAndKeepsSettingsAndPositions)
{
    auto c = makeEngine();
    c->applyParameter (0, 1.0f);
    c->applyParameter (1, 0.3f);
    c->applyParameter (2, 0.7f);
    run (*c, tsig::pluckedPhrase (48000, 1.5), 512);

    const auto write = c->timingWriteIndex, read = c->timingReadIndex, drift = c->driftWriteIndex;
    const auto b0 = c->sections[5].b0;
    c->Reset();

    EXPECT_EQ (c->timingWriteIndex, write);
    EXPECT_EQ (c->timingReadIndex, read);
    EXPECT_EQ (c->driftWriteIndex, drift);
    EXPECT_EQ (c->sections[5].b0, b0);
    EXPECT_EQ (c->activeSections, 12);
    EXPECT_EQ (c->currentDelay, c->centreDelay);
    EXPECT_EQ (c->driftStep, 0.0f);
    EXPECT_EQ (c->runsSinceDrift, 100000);
    EXPECT_FALSE (c->armed);
    for (const auto& s : c->sections)
        EXPECT_TRUE (s.z1 == 0.0f && s.z2 == 0.0f);
    for (float v : c->driftBuffer)
        ASSERT_EQ (v, 0.0f);
}

TEST (EngineSetup, UnusableRatesStaySafe)
{
    for (int rate : { 0, -44100, 1, 100, 4000, 6400, INT_MAX })
    {
        auto c = makeEngine (rate);
        EXPECT_GE (c->sampleRate, 1);
        EXPECT_LE (c->sampleRate, Controller::maxSampleRate);
        EXPECT_LT (c->maxDelay, (float) Controller::ringLength);
        c->applyParameter (0, 1.0f);
        c->applyParameter (2, 1.0f);
        auto y = run (*c, tsig::pluckedPhrase (8000, 2.0), 256);
        for (float v : y)
            ASSERT_TRUE (std::isfinite (v)) << rate;
        for (int k = 0; k < c->activeSections; ++k)
            EXPECT_LT (std::abs (c->sections[k].a2), 1.0f) << rate; // poles inside the unit circle
    }
}

TEST (ParameterMapping, ModeBoundaries)
{
    struct Case
    {
        float v;
        int mode;
        int sections;
    };
    const Case cases[] = {
        { 0.0f, 1, 3 }, { 0.25f, 1, 3 }, { 0.2501f, 2, 4 }, { 0.5f, 2, 4 }, { 0.5001f, 2, 4 },
        { 0.5002f, 3, 5 }, { 0.7501f, 3, 5 }, { 0.7502f, 4, 12 }, { 1.0f, 4, 12 },
    };
    for (const auto& k : cases)
    {
        auto c = makeEngine();
        c->applyParameter (0, k.v);
        EXPECT_EQ (c->mode, k.mode) << k.v;
        EXPECT_EQ (c->activeSections, k.sections) << k.v;
    }
}

TEST (ParameterMapping, PitchPhaseAndUnknownIndex)
{
    auto c = makeEngine();
    c->applyParameter (2, 0.39999997615814209f);
    EXPECT_LT (c->driftScale, 0.4f);
    EXPECT_NEAR (c->driftScale, 0.4f, 1e-7);

    struct Case
    {
        float v;
        bool invert;
    };
    for (auto k : { Case { 0.0f, false }, Case { 0.4999f, false }, Case { 0.5f, true }, Case { 0.7f, true }, Case { NAN, true } })
    {
        c->applyParameter (3, k.v);
        EXPECT_EQ (c->invert, k.invert) << k.v;
    }

    auto before = std::make_unique<Controller> (*c);
    c->applyParameter (7, 1.0f);
    c->applyParameter (-1, 1.0f);
    c->applyParameter (0, NAN);
    EXPECT_EQ (std::memcmp (before.get(), c.get(), sizeof (Controller)), 0);
}

TEST (ParameterMapping, ModeChangeKeepsOtherSectionsAndMemories)
{
    auto c = makeEngine();
    c->applyParameter (0, 1.0f);
    run (*c, tsig::noise (4800, 0.3f, 7), 480);

    AllpassSection saved[12];
    std::memcpy (saved, c->sections, sizeof saved);

    c->applyParameter (0, 0.0f); // voicing 1
    EXPECT_EQ (c->activeSections, 3);
    EXPECT_EQ (c->sections[0].frequency, 210.0f);
    for (int k = 3; k < 12; ++k)
        EXPECT_EQ (std::memcmp (&saved[k], &c->sections[k], sizeof (AllpassSection)), 0) << k;
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_EQ (c->sections[k].z1, saved[k].z1);
        EXPECT_EQ (c->sections[k].z2, saved[k].z2);
    }

    // Choosing the same voicing again rewrites identical coefficients.
    AllpassSection again[12];
    std::memcpy (again, c->sections, sizeof again);
    c->applyParameter (0, 0.1f);
    EXPECT_EQ (std::memcmp (again, c->sections, sizeof again), 0);
}

TEST (BlockDriver, ImpulseComesOutAfterCentreDelayPlusTiming)
{
    for (float timing : { 0.0f, 0.5f })
    {
        auto c = makeEngine();
        c->applyParameter (1, timing);
        const int d = c->timingDelaySamples;
        std::vector<float> x (4096, 0.0f);
        x[0] = 1.0f;
        auto y = run (*c, x, 4096);
        for (int i = 0; i < 480 + d; ++i)
            ASSERT_EQ (y[(size_t) i], 0.0f) << i;
        EXPECT_NE (y[(size_t) (480 + d)], 0.0f);
        EXPECT_EQ (y[(size_t) (480 + d)], c->sections[0].b0 * c->sections[1].b0 * c->sections[2].b0);
        EXPECT_EQ (c->driftStep, 0.0f); // the disarmed detector ignored the impulse
    }
}

TEST (BlockDriver, SilenceGivesSilenceWithSignedZeros)
{
    for (bool invert : { false, true })
    {
        auto c = makeEngine();
        c->applyParameter (3, invert ? 1.0f : 0.0f);
        auto y = run (*c, std::vector<float> (2048, 0.0f), 512);
        for (float v : y)
        {
            ASSERT_EQ (v, 0.0f);
            ASSERT_EQ (std::signbit (v), invert);
        }
    }
}

TEST (BlockDriver, EmptyBlockChangesNothing)
{
    auto c = makeEngine();
    run (*c, tsig::pluckedPhrase (48000, 0.5), 100);
    auto before = std::make_unique<Controller> (*c);
    float dummy = 1.0f;
    c->process (&dummy, 0);
    c->process (&dummy, -5);
    EXPECT_EQ (dummy, 1.0f);
    EXPECT_EQ (std::memcmp (before.get(), c.get(), offsetof (Controller, blockBuffer)), 0);
}

TEST (BlockDriver, AnyBlockCuttingMatchesOneBlockBelow50kHz)
{
    const auto input = tsig::pluckedPhrase (44100, 4.0);
    auto reference = [&] {
        std::srand (11);
        auto c = makeEngine (44100);
        c->applyParameter (0, 1.0f);
        c->applyParameter (2, 1.0f);
        return run (*c, input, (int) input.size());
    }();

    for (int seed : { 1, 2, 3 })
    {
        std::srand (11);
        auto c = makeEngine (44100);
        c->applyParameter (0, 1.0f);
        c->applyParameter (2, 1.0f);
        auto x = input;
        tsig::Lcg sizes ((uint32_t) seed);
        ScopedFlushToZero ftz;
        for (size_t pos = 0; pos < x.size();)
        {
            const size_t n = std::min<size_t> (1 + sizes.next() % 3000, x.size() - pos);
            c->process (x.data() + pos, (int) n);
            pos += n;
        }
        for (size_t i = 0; i < x.size(); ++i)
            ASSERT_EQ (bits (x[i]), bits (reference[i])) << "seed " << seed << " sample " << i;
    }
}

TEST (BlockDriver, HugeBlocksRunInPiecesWithUnchangedOutput)
{
    for (int rate : { 48000, 96000 })
    {
        const auto input = tsig::pluckedPhrase (rate, 4.5);
        std::srand (5);
        auto a = makeEngine (rate);
        a->applyParameter (2, 1.0f);
        auto whole = run (*a, input, (int) input.size()); // more than 96000 samples

        std::srand (5);
        auto b = makeEngine (rate);
        b->applyParameter (2, 1.0f);
        auto pieces = run (*b, input, 1000); // even pieces keep the detector's positions
        ASSERT_GT (input.size(), 2u * Controller::maxBlock);
        for (size_t i = 0; i < input.size(); ++i)
            ASSERT_EQ (bits (whole[i]), bits (pieces[i])) << rate << " " << i;
    }
}

TEST (BlockDriver, DetectorRunsOnEvenPositionsAt96kHz)
{
    auto c = makeEngine (96000);
    std::vector<float> x (10, 0.5f);
    run (*c, x, 10);
    EXPECT_EQ (c->historyIndex, 5);
    run (*c, std::vector<float> (3, 0.5f), 3); // positions 0 and 2 of this block
    EXPECT_EQ (c->historyIndex, 7);
    EXPECT_EQ (c->driftWriteIndex, 13);
}

TEST (FloatMode, FlushToZeroInsideAndRestoredOnEveryExit)
{
    const auto outside = ScopedFlushToZero::currentMode();
    {
        ScopedFlushToZero ftz;
#if defined(__x86_64__)
        EXPECT_EQ (ScopedFlushToZero::currentMode() & 0x8040u, 0x8040u);
#endif
    }
    EXPECT_EQ (ScopedFlushToZero::currentMode(), outside);

    try
    {
        ScopedFlushToZero ftz;
        throw std::runtime_error ("unwind");
    }
    catch (const std::exception&)
    {
    }
    EXPECT_EQ (ScopedFlushToZero::currentMode(), outside);
}

TEST (FloatMode, DenormalInputLeavesNoDenormalsBehind)
{
    auto c = makeEngine();
    c->applyParameter (0, 1.0f);
    auto y = run (*c, std::vector<float> (8192, 1.0e-39f), 512);
    for (float v : y)
        ASSERT_TRUE (v == 0.0f || std::fpclassify (v) == FP_NORMAL);
}

TEST (BlockDriver, NonFiniteInputNeverLeavesTheEngineStuck)
{
    for (float poison : { NAN, INFINITY, -INFINITY })
    {
        auto c = makeEngine();
        c->applyParameter (0, 1.0f);
        c->applyParameter (2, 1.0f);
        run (*c, tsig::pluckedPhrase (48000, 0.5), 512);
        auto bad = tsig::noise (512, 0.5f, 1);
        bad[100] = poison;
        run (*c, bad, 512);
        EXPECT_TRUE (c->signalStateIsFinite());

        // Silence comes out silent, and a clean note plays as after a reset.
        auto silence = run (*c, std::vector<float> (2048, 0.0f), 512);
        for (float v : silence)
            ASSERT_EQ (v, 0.0f);
        std::vector<float> impulse (4096, 0.0f);
        impulse[0] = 1.0f;
        auto y = run (*c, impulse, 512);
        const int d = c->timingDelaySamples;
        EXPECT_EQ (y[(size_t) (480 + d - 1)], 0.0f);
        EXPECT_NE (y[(size_t) (480 + d)], 0.0f);
        for (float v : y)
            ASSERT_TRUE (std::isfinite (v));
    }
}

// --- the onset detector and the drift -------------------------------------

namespace
{
struct DriftProbe
{
    std::vector<int> acceptedAt; // sample index of each accepted onset
    float minSeen = 1e9f, maxSeen = -1e9f;
};

// Blocks of 64 (even, so the detector keeps its positions at 96 kHz); the
// spacing rule allows at most one accepted onset per block.
DriftProbe probe (Controller& c, const std::vector<float>& x)
{
    DriftProbe p;
    ScopedFlushToZero ftz;
    std::vector<float> block;
    for (size_t i = 0; i < x.size(); i += 64)
    {
        block.assign (x.begin() + (long) i, x.begin() + (long) std::min (i + 64, x.size()));
        const int before = c.runsSinceDrift;
        c.process (block.data(), (int) block.size());
        if (c.runsSinceDrift < before)
            p.acceptedAt.push_back ((int) i);
        p.minSeen = std::min (p.minSeen, c.currentDelay);
        p.maxSeen = std::max (p.maxSeen, c.currentDelay);
    }
    return p;
}
} // namespace

TEST (Drift, NoDriftBeforeTheDetectorHasArmed)
{
    auto c = makeEngine();
    c->applyParameter (2, 1.0f);
    // A note that starts in silence right after a reset and keeps sounding.
    auto x = tsig::tone (48000, 0.5, 220.0, 0.5f, 0.0);
    auto p = probe (*c, x);
    EXPECT_TRUE (p.acceptedAt.empty());
    EXPECT_EQ (c->currentDelay, 480.0f);
    EXPECT_EQ (c->driftStep, 0.0f);
}

TEST (Drift, FirstOnsetAfterArmingStartsADriftAtOnce)
{
    auto c = makeEngine();
    c->applyParameter (2, 1.0f);
    // Note, decay to silence (arms the detector), then a second note.
    auto x = tsig::burst (48000, { 0.0, 0.4 }, 0.3, 1.0);
    auto p = probe (*c, x);
    ASSERT_EQ (p.acceptedAt.size(), 1u);
    EXPECT_GE (p.acceptedAt[0], (int) (0.4 * 48000));
    EXPECT_LT (p.acceptedAt[0], (int) (0.4 * 48000) + 640);
    EXPECT_NE (c->currentDelay, 480.0f);
}

TEST (Drift, OnsetsCloserThanTheSpacingAreDropped)
{
    for (int rate : { 48000, 96000 })
    {
        // Third note 150 ms after the second: accepted at 48 kHz (0.1 s),
        // dropped at 96 kHz where the spacing counts half-rate runs (0.2 s).
        auto c = makeEngine (rate);
        c->applyParameter (2, 1.0f);
        auto x = tsig::burst (rate, { 0.0, 0.3, 0.45, 0.48 }, 0.02, 1.0);
        auto p = probe (*c, x);
        const size_t expected = rate == 48000 ? 2u : 1u;
        ASSERT_EQ (p.acceptedAt.size(), expected) << rate;
        // The fourth, 30 ms after the third, never counts.
        for (int at : p.acceptedAt)
            EXPECT_FALSE (at >= (int) (0.48 * rate) && at < (int) (0.51 * rate)) << rate;
    }
}

TEST (Drift, QuietNotesNeverTrigger)
{
    auto c = makeEngine();
    c->applyParameter (2, 1.0f);
    auto x = tsig::burst (48000, { 0.0, 0.3, 0.6, 0.9 }, 0.05, 1.2, 0.02f);
    EXPECT_TRUE (probe (*c, x).acceptedAt.empty());
}

TEST (Drift, PitchZeroFreezesTheDelay)
{
    auto c = makeEngine();
    c->applyParameter (2, 0.0f);
    auto p = probe (*c, tsig::pluckedPhrase (48000, 3.0));
    EXPECT_FALSE (p.acceptedAt.empty());
    EXPECT_EQ (p.minSeen, 480.0f);
    EXPECT_EQ (p.maxSeen, 480.0f);
}

TEST (Drift, DelayStaysInBoundsAndBounces)
{
    {
        auto c = makeEngine();
        c->currentDelay = c->maxDelay - 0.001f;
        c->driftStep = 0.00576f;
        float s = 0.0f;
        c->process (&s, 1);
        EXPECT_EQ (c->currentDelay, c->maxDelay);
        EXPECT_EQ (c->driftStep, -0.0001f);
    }
    {
        auto c = makeEngine();
        c->currentDelay = c->minDelay + 0.001f;
        c->driftStep = -0.00576f;
        float s = 0.0f;
        c->process (&s, 1);
        EXPECT_EQ (c->currentDelay, c->minDelay);
        EXPECT_EQ (c->driftStep, 0.0001f);
    }
    // A long phrase at full depth: always inside [2 ms, 20 ms].
    std::srand (3);
    auto c = makeEngine (44100);
    c->applyParameter (2, 1.0f);
    auto p = probe (*c, tsig::pluckedPhrase (44100, 20.0));
    EXPECT_GT (p.acceptedAt.size(), 10u);
    EXPECT_GE (p.minSeen, c->minDelay);
    EXPECT_LE (p.maxSeen, c->maxDelay);
    EXPECT_GT (p.maxSeen - p.minSeen, 10.0f);
}

TEST (Drift, RunsSinceDriftSaturates)
{
    auto c = makeEngine();
    c->runsSinceDrift = INT_MAX - 2;
    for (int i = 0; i < 10; ++i)
        c->onsetDetectorStep (0.0f);
    EXPECT_EQ (c->runsSinceDrift, INT_MAX);
}
