#pragma once

// Deterministic test signals: no dependence on rand(), which the engine uses.

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tsig
{
struct Lcg
{
    explicit Lcg (uint32_t seed) : state (seed * 2654435761u + 1u) {}
    uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    float uniform() { return (float) next() / 16777216.0f * 2.0f - 1.0f; }
    uint32_t state;
};

inline std::vector<float> noise (size_t n, float amplitude, uint32_t seed)
{
    Lcg g (seed);
    std::vector<float> x (n);
    for (auto& v : x)
        v = amplitude * g.uniform();
    return x;
}

inline std::vector<float> tone (int rate, double seconds, double hz, float amplitude, double start)
{
    std::vector<float> x ((size_t) (seconds * rate), 0.0f);
    for (size_t i = (size_t) (start * rate); i < x.size(); ++i)
        x[i] = amplitude * (float) std::sin (2.0 * M_PI * hz * (double) i / rate);
    return x;
}

// Plucked-style notes: 2 ms attack, exponential decay, silent after `duration`.
inline void addNote (std::vector<float>& x, int rate, double start, double duration, double hz, float amplitude)
{
    const size_t begin = (size_t) (start * rate);
    const size_t length = (size_t) (duration * rate);
    const double attack = 0.002 * rate, tau = duration * rate / 4.0;
    for (size_t i = 0; i < length && begin + i < x.size(); ++i)
    {
        const double t = (double) i;
        const double env = (t < attack ? t / attack : 1.0) * std::exp (-t / tau);
        const double ph = 2.0 * M_PI * hz * t / rate;
        x[begin + i] += amplitude * (float) (env * (0.7 * std::sin (ph) + 0.2 * std::sin (2.0 * ph) + 0.1 * std::sin (3.0 * ph)));
    }
}

inline std::vector<float> burst (int rate, std::initializer_list<double> starts, double duration, double total, float amplitude = 0.5f)
{
    std::vector<float> x ((size_t) (total * rate), 0.0f);
    for (double s : starts)
        addNote (x, rate, s, duration, 330.0, amplitude);
    return x;
}

inline std::vector<float> pluckedPhrase (int rate, double seconds)
{
    static const double notes[] = { 196.0, 246.9, 293.7, 392.0, 329.6, 261.6, 220.0, 293.7 };
    std::vector<float> x ((size_t) (seconds * rate), 0.0f);
    int k = 0;
    for (double t = 0.05; t < seconds; t += 0.37 + 0.06 * (k % 3), ++k)
        addNote (x, rate, t, 0.3, notes[k % 8], 0.6f);
    return x;
}
} // namespace tsig
