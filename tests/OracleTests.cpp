// The optimised engine against the straightforward one kept in
// tests/oracle: the same signals, settings and block cuts must give the same
// output bits and the same filter memories.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "Controller.h"
#include "TestSignals.h"
#include "oracle/ReferenceController.h"

namespace
{
struct Change
{
    size_t atSample; // applied before the block that starts here or later
    int index;
    float value;
};

struct Scenario
{
    const char* name;
    int rate;
    std::vector<float> signal;
    std::vector<int> blocks; // cycled
    std::vector<Change> changes;
};

std::vector<float> impulses (size_t n)
{
    std::vector<float> x (n, 0.0f);
    for (size_t i = 0; i < n; i += 7919)
        x[i] = i % 2 ? -1.0f : 1.0f;
    return x;
}

template <typename Engine>
std::vector<float> runScenario (const Scenario& s, Engine& e)
{
    std::srand (42);
    e.SetSamplerate (s.rate);
    e.applyParameter (2, 0.7f);
    auto x = s.signal;
    size_t pos = 0, b = 0, c = 0;
    ScopedFlushToZero ftz;
    while (pos < x.size())
    {
        while (c < s.changes.size() && s.changes[c].atSample <= pos)
        {
            e.applyParameter (s.changes[c].index, s.changes[c].value);
            ++c;
        }
        const size_t n = std::min ((size_t) s.blocks[b++ % s.blocks.size()], x.size() - pos);
        e.process (x.data() + pos, (int) n);
        pos += n;
    }
    return x;
}
} // namespace

TEST (Oracle, OptimisedEngineMatchesTheStraightforwardOneBitForBit)
{
    std::vector<Scenario> scenarios;
    for (int rate : { 44100, 96000 })
    {
        const size_t n = (size_t) rate * 3;
        for (int mode = 1; mode <= 4; ++mode)
        {
            const float mv = (float) (mode - 1) / 3.0f;
            scenarios.push_back ({ "phrase", rate, tsig::pluckedPhrase (rate, 3.0), { 512 }, { { 0, 0, mv } } });
            scenarios.push_back ({ "noise, odd blocks", rate, tsig::noise (n, 0.5f, (uint32_t) mode), { 1, 3, 77, 1023 }, { { 0, 0, mv } } });
            scenarios.push_back ({ "impulses, block 32", rate, impulses (n), { 32 }, { { 0, 0, mv } } });
        }
        scenarios.push_back ({ "silence", rate, std::vector<float> (n, 0.0f), { 64 }, { { 0, 0, 1.0f } } });
        scenarios.push_back ({ "denormal range", rate, tsig::noise (n, 1.0e-38f, 3), { 256 }, { { 0, 0, 1.0f } } });
        scenarios.push_back ({ "huge blocks", rate, tsig::pluckedPhrase (rate, 5.0), { 200000, 4097 }, { { 0, 0, 1.0f } } });
        scenarios.push_back ({ "Mode and Timing changes between blocks", rate, tsig::pluckedPhrase (rate, 4.0), { 480, 333 },
                               { { 0, 0, 1.0f }, { 20000, 0, 0.0f }, { 40000, 1, 0.8f }, { 60000, 0, 1.0f }, { 80000, 0, 0.5f },
                                 { 100000, 1, 0.0f }, { 120000, 0, 0.9f }, { 140000, 3, 1.0f } } });
    }

    for (const auto& s : scenarios)
    {
        SCOPED_TRACE (std::string (s.name) + " at " + std::to_string (s.rate));
        auto fast = std::make_unique<Controller>();
        auto slow = std::make_unique<reference::Controller>();
        const auto a = runScenario (s, *fast);
        const auto b = runScenario (s, *slow);
        ASSERT_EQ (a.size(), b.size());
        size_t first = a.size();
        for (size_t i = 0; i < a.size() && first == a.size(); ++i)
            if (std::memcmp (&a[i], &b[i], sizeof (float)) != 0)
                first = i;
        EXPECT_EQ (first, a.size()) << "first differing sample";
        for (int k = 0; k < 12; ++k)
        {
            EXPECT_EQ (std::memcmp (&fast->sections[k].z1, &slow->sections[k].z1, sizeof (float)), 0) << k;
            EXPECT_EQ (std::memcmp (&fast->sections[k].z2, &slow->sections[k].z2, sizeof (float)), 0) << k;
        }
        EXPECT_EQ (fast->currentDelay, slow->currentDelay);
    }
}
