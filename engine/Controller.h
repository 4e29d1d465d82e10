#pragma once

#include <cstdint>

// The doubling engine: one mono channel, fixed storage, no allocation after
// construction. The arithmetic below is pinned to the bit (float vs double
// steps are deliberate); build without FMA contraction or fast-math.

struct AllpassSection
{
    double sampleRate = 48000.0;
    float frequency = 500.0f;
    float q = 1.0f;
    bool dirty = true;
    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f;
    float a1 = 0.0f, a2 = 0.0f;
    float z1 = 0.0f, z2 = 0.0f;

    void design() noexcept;
};

struct Controller
{
    static constexpr int ringLength = 48000;
    static constexpr int historyLength = 500;
    static constexpr int maxBlock = 96000;
    static constexpr int numSections = 12;
    static constexpr int maxTimingDelay = 47900;
    static constexpr int maxSampleRate = 2399999; // the drift range must fit the ring

    float timingBuffer[ringLength];
    int32_t timingWriteIndex = 0;
    int32_t timingReadIndex = 0;
    int32_t timingDelaySamples = 1;
    AllpassSection sections[numSections];
    float driftBuffer[ringLength];
    float driftSampleRate = 48000.0f;
    float centreDelay = 480.0f;
    float minDelay = 96.0f;
    float maxDelay = 960.0f;
    int32_t driftWriteIndex = 0;
    float currentDelay = 480.0f;
    float driftStep = 0.0f;
    float driftScale = 0.0f;
    float rmsHistory[historyLength];
    float fastPower = 0.0f;
    float slowPower = 0.0f;
    bool armed = false;
    int32_t historyIndex = 0;
    int32_t runsSinceDrift = 100000;
    float blockBuffer[maxBlock];
    int32_t activeSections = 3;
    int32_t sampleRate = 48000;
    int32_t mode = 1;
    float timingMs = 0.0f;
    bool invert = false;

    Controller() noexcept;

    // Rates below 1 Hz are taken as 1 Hz and rates above maxSampleRate as
    // maxSampleRate, so no division by zero and no ring overrun can follow.
    void SetSamplerate (int32_t rate) noexcept;
    void Reset() noexcept;

    // Voicing assignment for mode 1..4 (anything else changes nothing),
    // followed by the redesign of every dirty section.
    void assignVoicing (int32_t voicing) noexcept;
    void updateCoefficients() noexcept;

    // Parameter-to-engine mapping, index 0 Mode, 1 Timing, 2 Pitch, 3 Phase.
    void applyParameter (int32_t index, float value) noexcept;

    void onsetDetectorStep (float x) noexcept;
    float driftDelayStep (float x) noexcept;
    void processAllpass (float* buffer, int32_t n) noexcept;

    // The block driver without the floating-point mode switch: the caller
    // wraps it in ScopedFlushToZero. Blocks longer than maxBlock are run in
    // maxBlock pieces (an even length, so the detector's even-position rule
    // is unchanged).
    void process (float* io, int32_t n) noexcept;

    // False once a NaN or infinity has reached the filters or followers;
    // process() then resets the signal state at the end of the block.
    bool signalStateIsFinite() const noexcept;

private:
    void processPiece (float* io, int32_t n) noexcept;
    void setTimingDelay (double samples) noexcept;
};

// Flush-to-zero and denormals-are-zero for the lifetime of the object; the
// previous control state comes back in the destructor, so every exit path
// (an exception included) restores it.
class ScopedFlushToZero
{
public:
    ScopedFlushToZero() noexcept;
    ~ScopedFlushToZero() noexcept;
    ScopedFlushToZero (const ScopedFlushToZero&) = delete;
    ScopedFlushToZero& operator= (const ScopedFlushToZero&) = delete;

    static uint32_t currentMode() noexcept;

private:
    uint32_t saved = 0;
};
