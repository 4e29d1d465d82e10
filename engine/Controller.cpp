#include "Controller.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <type_traits>

#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
 #include <emmintrin.h>
 #define VANTOR_HAS_MXCSR 1
#elif defined(__aarch64__)
 #define VANTOR_HAS_FPCR 1
#endif

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
    if (++historyIndex == historyLength)
        historyIndex = 0;
    const int32_t compared = historyIndex + 2;
    const float P = rmsHistory[compared < historyLength ? compared : compared - historyLength];

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
    const int32_t i1 = i0 + 1 < ringLength ? i0 + 1 : 0;
    const float frac = (float) (rp - (double) i0);

    driftBuffer[driftWriteIndex] = x;
    const float y = (1.0f - frac) * driftBuffer[i0] + frac * driftBuffer[i1];

    if (++driftWriteIndex == ringLength)
        driftWriteIndex = 0;
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

namespace
{
// The cascade as a wavefront: section k works on sample t - k while section
// k + 1 works on sample t - k - 1, so all active sections advance together in
// SSE lanes (four sections per register, three registers for twelve). Each
// lane performs exactly the scalar section's multiplies and adds, in the same
// order, so the output is bit-identical to running the sections one after
// another; the per-sample cost is one recursion chain instead of one per
// section. Lanes outside [0, n) of their section, and sections beyond
// activeSections, keep their memories through a mask.
template <typename Source, typename Sink>
void runCascade (Controller& engine, float* scratch, int32_t n, Source&& source, Sink&& sink) noexcept
{
    auto& sections = engine.sections;
    const int32_t K = engine.activeSections;
    if (n <= 0)
        return;

    if (K <= 0)
    {
        for (int32_t i = 0; i < n; ++i)
            sink (i, source (i));
        return;
    }

#if VANTOR_HAS_MXCSR && ! defined(VANTOR_PORTABLE_CASCADE)
    (void) scratch;
    constexpr int numSections = Controller::numSections;
    constexpr int lanes = 4, maxRegs = numSections / lanes;
    const int regs = (K + lanes - 1) / lanes;

    alignas (16) float c[5][numSections] = {}, m[2][numSections] = {};
    for (int k = 0; k < numSections; ++k)
    {
        c[0][k] = sections[k].b0;
        c[1][k] = sections[k].b1;
        c[2][k] = sections[k].b2;
        c[3][k] = sections[k].a1;
        c[4][k] = sections[k].a2;
        m[0][k] = sections[k].z1;
        m[1][k] = sections[k].z2;
    }

    __m128 b0[maxRegs], b1[maxRegs], b2[maxRegs], a1[maxRegs], a2[maxRegs], z1[maxRegs], z2[maxRegs], y[maxRegs];
    __m128i index[maxRegs];
    for (int r = 0; r < regs; ++r)
    {
        b0[r] = _mm_load_ps (&c[0][4 * r]);
        b1[r] = _mm_load_ps (&c[1][4 * r]);
        b2[r] = _mm_load_ps (&c[2][4 * r]);
        a1[r] = _mm_load_ps (&c[3][4 * r]);
        a2[r] = _mm_load_ps (&c[4][4 * r]);
        z1[r] = _mm_load_ps (&m[0][4 * r]);
        z2[r] = _mm_load_ps (&m[1][4 * r]);
        y[r] = _mm_setzero_ps();
        index[r] = _mm_setr_epi32 (4 * r, 4 * r + 1, 4 * r + 2, 4 * r + 3);
    }

    const __m128i minusOne = _mm_set1_epi32 (-1), length = _mm_set1_epi32 (n);
    const int lastReg = (K - 1) / lanes, lastLane = (K - 1) % lanes;
    const int32_t steps = n + K - 1;
    alignas (16) float out[4];

    // Lanes of sections beyond K compute freely: their memories are never
    // written back. Only the first and last K - 1 steps, where a section's
    // sample lies outside the block, need the mask.
    auto step = [&] (int32_t t, auto masked) {
        const float in = t < n ? source (t) : 0.0f;
        const __m128i tv = _mm_set1_epi32 (t);
        __m128 carry = _mm_set_ss (in);

        for (int r = 0; r < regs; ++r)
        {
            // x: this register's y moved up one lane, the previous register's
            // top lane (or the input) shifted in at the bottom.
            const __m128 up = _mm_castsi128_ps (_mm_slli_si128 (_mm_castps_si128 (y[r]), 4));
            const __m128 x = _mm_or_ps (up, carry);
            carry = _mm_castsi128_ps (_mm_srli_si128 (_mm_castps_si128 (y[r]), 12));

            const __m128 yn = _mm_add_ps (_mm_mul_ps (b0[r], x), z1[r]);
            const __m128 z1n = _mm_add_ps (_mm_sub_ps (_mm_mul_ps (b1[r], x), _mm_mul_ps (a1[r], yn)), z2[r]);
            const __m128 z2n = _mm_sub_ps (_mm_mul_ps (b2[r], x), _mm_mul_ps (a2[r], yn));

            if constexpr (decltype (masked)::value)
            {
                const __m128i sample = _mm_sub_epi32 (tv, index[r]);
                const __m128 valid = _mm_castsi128_ps (_mm_and_si128 (_mm_cmpgt_epi32 (sample, minusOne), _mm_cmplt_epi32 (sample, length)));
                z1[r] = _mm_or_ps (_mm_and_ps (valid, z1n), _mm_andnot_ps (valid, z1[r]));
                z2[r] = _mm_or_ps (_mm_and_ps (valid, z2n), _mm_andnot_ps (valid, z2[r]));
            }
            else
            {
                z1[r] = z1n;
                z2[r] = z2n;
            }
            y[r] = yn;
        }

        const int32_t done = t - (K - 1);
        if (done >= 0)
        {
            _mm_store_ps (out, y[lastReg]);
            sink (done, out[lastLane]);
        }
    };

    const int32_t steadyBegin = K - 1, steadyEnd = std::max (steadyBegin, n);
    int32_t t = 0;
    for (; t < std::min (steadyBegin, steps); ++t)
        step (t, std::true_type {});
    for (; t < steadyEnd; ++t)
        step (t, std::false_type {});
    for (; t < steps; ++t)
        step (t, std::true_type {});

    for (int r = 0; r < regs; ++r)
    {
        _mm_store_ps (&m[0][4 * r], z1[r]);
        _mm_store_ps (&m[1][4 * r], z2[r]);
    }
    for (int k = 0; k < K; ++k)
    {
        sections[k].z1 = m[0][k];
        sections[k].z2 = m[1][k];
    }
#else
    float* buffer = scratch;
    for (int32_t i = 0; i < n; ++i)
        buffer[i] = source (i);

    for (int32_t k = 0; k < K; ++k)
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

    for (int32_t i = 0; i < n; ++i)
        sink (i, buffer[i]);
#endif
}

} // namespace

void Controller::processAllpass (float* buffer, int32_t n) noexcept
{
    runCascade (*this, buffer, n, [buffer] (int32_t i) { return buffer[i]; }, [buffer] (int32_t i, float y) { buffer[i] = y; });
}

// One pass over the block: the detector and drift produce each sample as the
// wavefront takes it in, and the cascade's output goes straight through the
// Timing line and the polarity flip. The stages stay in their order for every
// sample, and each stage's state sees its samples in order, so the result is
// the one the stage-by-stage form gives; the passes only overlap in time.
void Controller::processPiece (float* io, int32_t n) noexcept
{
    const bool halfRateDetector = driftSampleRate >= detectorRateThreshold;
    const uint32_t flip = invert ? 0x80000000u : 0u;

    runCascade (
        *this, blockBuffer, n,
        [this, io, halfRateDetector] (int32_t i) {
            if (! (halfRateDetector && (i & 1)))
                onsetDetectorStep (io[i]);
            return driftDelayStep (io[i]);
        },
        [this, io, flip] (int32_t i, float y) {
            timingBuffer[timingWriteIndex] = y;
            io[i] = bitsToFloat (floatBits (timingBuffer[timingReadIndex]) ^ flip);
            if (++timingWriteIndex == ringLength)
                timingWriteIndex = 0;
            if (++timingReadIndex == ringLength)
                timingReadIndex = 0;
        });
}

bool Controller::signalStateIsFinite() const noexcept
{
    // A NaN or infinity anywhere in the recursions would stay there for good
    // (and silence the detector); each of them passes through these values.
    float sum = fastPower + slowPower + currentDelay;
    for (const auto& s : sections)
        sum += s.z1 + s.z2;
    return std::isfinite (sum);
}

void Controller::process (float* io, int32_t n) noexcept
{
    while (n > 0)
    {
        const int32_t piece = n < maxBlock ? n : maxBlock;
        processPiece (io, piece);
        io += piece;
        n -= piece;

        // Non-finite input poisons the filters and followers; clear the
        // signal state so that the next clean input plays normally again.
        if (! signalStateIsFinite())
            Reset();
    }
}

ScopedFlushToZero::ScopedFlushToZero() noexcept
{
#if VANTOR_HAS_MXCSR
    saved = _mm_getcsr();
    _mm_setcsr (saved | 0x8040u);
#elif VANTOR_HAS_FPCR
    uint64_t fpcr;
    asm volatile ("mrs %0, fpcr" : "=r"(fpcr));
    saved = (uint32_t) fpcr;
    asm volatile ("msr fpcr, %0" ::"r"(fpcr | (1ull << 24)));
#endif
}

ScopedFlushToZero::~ScopedFlushToZero() noexcept
{
#if VANTOR_HAS_MXCSR
    _mm_setcsr (saved);
#elif VANTOR_HAS_FPCR
    asm volatile ("msr fpcr, %0" ::"r"((uint64_t) saved));
#endif
}

uint32_t ScopedFlushToZero::currentMode() noexcept
{
#if VANTOR_HAS_MXCSR
    return _mm_getcsr();
#elif VANTOR_HAS_FPCR
    uint64_t fpcr;
    asm volatile ("mrs %0, fpcr" : "=r"(fpcr));
    return (uint32_t) fpcr;
#else
    return 0;
#endif
}
