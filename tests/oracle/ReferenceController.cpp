#include "ReferenceController.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>


namespace reference
{
namespace
{
struct Voicing
{
    int32_t count;
    float frequencies[Controller::numSections];
};

constexpr Voicing voicings[4] = {
    { 3, { 210.0f, 1100.0f, 1520.0f } },
    { 4, { 170.0f, 330.0f, 820.0f, 1600.0f } },
    { 5, { 145.0f, 270.0f, 510.0f, 950.0f, 1850.0f } },
    { 12, { 120.0f, 165.0f, 220.0f, 310.0f, 460.0f, 670.0f, 910.0f, 1180.0f, 1550.0f, 2010.0f, 2600.0f, 3200.0f } },
};

constexpr double followerPole = 0.999;
constexpr double fastWeight = 1.0 - 0.999; // 0.0010000000000000009, not 0.001
constexpr double slowWeight = 0.001;
constexpr double levelThreshold = 0.02;
constexpr double riseFactor = 1.2;
constexpr double spacingSeconds = 0.1;
constexpr float randomScale = 4.656612873077392578125e-10f; // 2^-31
constexpr double directionStep = 0.00576;
constexpr float bounceStep = 0.0001f;
constexpr float detectorRateThreshold = 50000.0f;

inline uint32_t floatBits (float f) noexcept
{
    uint32_t u;
    std::memcpy (&u, &f, sizeof u);
    return u;
}

inline float bitsToFloat (uint32_t u) noexcept
{
    float f;
    std::memcpy (&f, &u, sizeof f);
    return f;
}
} // namespace

void AllpassSection::design() noexcept
{
    const float rate = (float) sampleRate;
    float f = frequency;

    // Only reachable at rates of 6400 Hz and below: a centre at or above
    // Nyquist would make alpha negative and the section unstable.
    if (! (f < rate * 0.5f))
        f = rate * 0.45f;

    const float omega = (f * 6.2831855f) / rate;
    const float s = std::sin (omega);
    const float c = std::cos (omega);
    const float alpha = s / (q + q);
    b0 = (1.0f - alpha) / (1.0f + alpha);
    b1 = (-2.0f * c) / (1.0f + alpha);
    a1 = b1;
    b2 = (1.0f + alpha) / (1.0f + alpha);
    a2 = b0 * 0.999999f;
    dirty = false;
}

Controller::Controller() noexcept
{
    std::memset (timingBuffer, 0, sizeof timingBuffer);
    std::memset (driftBuffer, 0, sizeof driftBuffer);
    std::memset (rmsHistory, 0, sizeof rmsHistory);
    std::memset (blockBuffer, 0, sizeof blockBuffer);
    SetSamplerate (48000);
}

void Controller::setTimingDelay (double samples) noexcept
{
    // trunc toward zero, then clamp; the comparisons also catch NaN.
    int32_t d;
    if (! (samples >= 1.0))
        d = 1;
    else if (samples >= (double) maxTimingDelay)
        d = maxTimingDelay;
    else
        d = (int32_t) samples;

    timingDelaySamples = d;
    timingReadIndex = (timingWriteIndex - timingDelaySamples + ringLength) % ringLength;
}

void Controller::SetSamplerate (int32_t rate) noexcept
{
    if (rate < 1)
        rate = 1;
    if (rate > maxSampleRate)
        rate = maxSampleRate;

    sampleRate = rate;

    for (auto& s : sections)
    {
        s.sampleRate = (double) rate;
        s.frequency = 500.0f;
        s.q = 1.0f;
        s.dirty = true;
        s.z1 = 0.0f;
        s.z2 = 0.0f;
    }

    driftSampleRate = (float) rate;
    const double r = (double) driftSampleRate;
    centreDelay = (float) (r * 0.01);
    minDelay = (float) (r * 0.002);
    maxDelay = (float) (r * 0.02);

    setTimingDelay (((double) timingMs / 1000.0) * (double) rate);

    assignVoicing (mode);
    Reset();
}

void Controller::Reset() noexcept
{
    std::memset (timingBuffer, 0, sizeof timingBuffer);
    std::memset (driftBuffer, 0, sizeof driftBuffer);
    currentDelay = centreDelay;
    driftStep = 0.0f;
    std::memset (rmsHistory, 0, sizeof rmsHistory);
    fastPower = 0.0f;
    slowPower = 0.0f;
    armed = false;
    historyIndex = 0;
    runsSinceDrift = 100000;

    for (auto& s : sections)
    {
        s.z1 = 0.0f;
        s.z2 = 0.0f;
    }
}

void Controller::assignVoicing (int32_t voicing) noexcept
{
    if (voicing >= 1 && voicing <= 4)
    {
        const auto& v = voicings[voicing - 1];

        for (int32_t i = 0; i < v.count; ++i)
        {
            sections[i].frequency = v.frequencies[i];
            sections[i].dirty = true;
        }

        activeSections = v.count;
    }

    updateCoefficients();
}

void Controller::updateCoefficients() noexcept
{
    for (auto& s : sections)
        if (s.dirty)
            s.design();
}

void Controller::applyParameter (int32_t index, float value) noexcept
{
    const double v = (double) value;

    switch (index)
    {
        case 0:
        {
            if (std::isnan (v))
                return;

            const double m = std::trunc (v * 3.999 + 1.0);
            mode = m >= (double) INT_MAX ? INT_MAX : (m <= (double) INT_MIN ? INT_MIN : (int32_t) m);
            assignVoicing (mode);
            break;
        }
        case 1:
            timingMs = (float) (((v * 30.0) + 10.0) - 10.0);
            setTimingDelay ((double) sampleRate * ((double) timingMs / 1000.0));
            break;
        case 2:
            driftScale = (float) ((v * 10.0) * 0.1);
            break;
        case 3:
            invert = ! (value < 0.5f); // NaN inverts too
            break;
        default:
            break;
    }
}

void Controller::onsetDetectorStep (float x) noexcept
{
    const float x2 = x * x;
    fastPower = (float) (followerPole * (double) fastPower + fastWeight * (double) x2);
    slowPower = (float) (followerPole * (double) slowPower + slowWeight * (double) fastPower);

    const float F = std::sqrt (fastPower);
    const float S = std::sqrt (slowPower);

    rmsHistory[historyIndex] = F;
    historyIndex = (historyIndex + 1) % historyLength;
    const float P = rmsHistory[(historyIndex + 2) % historyLength];

    bool onset = false;

    if (F > S && (double) F > levelThreshold && (double) F > riseFactor * (double) P)
    {
        onset = armed;
        armed = false;
    }

    if (S > F)
        armed = true;

    if (runsSinceDrift < INT_MAX)
        ++runsSinceDrift;

    if (onset && (double) runsSinceDrift >= (double) driftSampleRate * spacingSeconds)
    {
        runsSinceDrift = 0;
        const int r1 = std::rand();
        const int r2 = std::rand();

        float p;
        if (currentDelay <= minDelay)
            p = 1.0f;
        else if (currentDelay >= maxDelay)
            p = 0.0f;
        else if (currentDelay < centreDelay)
            p = 0.7f;
        else if (currentDelay > centreDelay)
            p = 0.3f;
        else
            p = 0.5f;

        const float u1 = (float) r1 * randomScale;
        const float u2 = (float) r2 * randomScale;
        const double d = u1 <= p ? directionStep : -directionStep;
        driftStep = (float) (((double) u2 * d) * (double) driftScale);
    }
}

float Controller::driftDelayStep (float x) noexcept
{
    const float pos = (float) driftWriteIndex - currentDelay;
    const double rp = pos < 0.0f ? (double) pos + (double) ringLength : (double) pos;

    int32_t i0 = (int32_t) rp;
    if (i0 >= ringLength) // cannot happen for delays of at least a float ulp; kept as a bound
        i0 -= ringLength;
    const int32_t i1 = (i0 + 1) % ringLength;
    const float frac = (float) (rp - (double) i0);

    driftBuffer[driftWriteIndex] = x;
    const float y = (1.0f - frac) * driftBuffer[i0] + frac * driftBuffer[i1];

    driftWriteIndex = (driftWriteIndex + 1) % ringLength;
    currentDelay += driftStep;

    if (currentDelay < minDelay)
    {
        currentDelay = minDelay;
        driftStep = bounceStep;
    }

    if (currentDelay > maxDelay)
    {
        currentDelay = maxDelay;
        driftStep = -bounceStep;
    }

    return y;
}

void Controller::processAllpass (float* buffer, int32_t n) noexcept
{
    for (int32_t k = 0; k < activeSections; ++k)
    {
        auto& s = sections[k];
        const float b0 = s.b0, b1 = s.b1, b2 = s.b2, a1 = s.a1, a2 = s.a2;
        float z1 = s.z1, z2 = s.z2;

        for (int32_t i = 0; i < n; ++i)
        {
            const float x = buffer[i];
            const float y = b0 * x + z1;
            z1 = (b1 * x - a1 * y) + z2;
            z2 = b2 * x - a2 * y;
            buffer[i] = y;
        }

        s.z1 = z1;
        s.z2 = z2;
    }
}

void Controller::processPiece (float* io, int32_t n) noexcept
{
    const bool halfRateDetector = driftSampleRate >= detectorRateThreshold;

    for (int32_t i = 0; i < n; ++i)
    {
        if (! (halfRateDetector && (i & 1)))
            onsetDetectorStep (io[i]);

        blockBuffer[i] = driftDelayStep (io[i]);
    }

    processAllpass (blockBuffer, n);

    for (int32_t i = 0; i < n; ++i)
    {
        timingBuffer[timingWriteIndex] = blockBuffer[i];
        io[i] = timingBuffer[timingReadIndex];
        timingWriteIndex = (timingWriteIndex + 1) % ringLength;
        timingReadIndex = (timingReadIndex + 1) % ringLength;
    }

    if (invert)
        for (int32_t i = 0; i < n; ++i)
            io[i] = bitsToFloat (floatBits (io[i]) ^ 0x80000000u);
}

void Controller::process (float* io, int32_t n) noexcept
{
    while (n > 0)
    {
        const int32_t piece = n < maxBlock ? n : maxBlock;
        processPiece (io, piece);
        io += piece;
        n -= piece;
    }
}
} // namespace reference
