// The audio path never allocates, frees or locks. This program replaces the
// allocation functions and the mutex lock, and counts every call made while
// the current thread is "armed": around processBlock and around the
// parameter handler as host automation calls it on the audio thread.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "PluginProcessor.h"
#include "TestSignals.h"

extern "C" void* __libc_malloc (size_t);
extern "C" void __libc_free (void*);
extern "C" void* __libc_calloc (size_t, size_t);
extern "C" void* __libc_realloc (void*, size_t);

namespace
{
thread_local bool armed = false;
std::atomic<int> violations { 0 };

// Out of line, so that a debugger can stop on a violation.
__attribute__ ((noinline)) void violation()
{
    violations.fetch_add (1, std::memory_order_relaxed);
}

inline void note()
{
    if (armed)
        violation();
}

struct Armed
{
    Armed() { armed = true; }
    ~Armed() { armed = false; }
};
} // namespace

extern "C" void* malloc (size_t n)
{
    note();
    return __libc_malloc (n);
}
extern "C" void free (void* p)
{
    if (p != nullptr)
        note();
    __libc_free (p);
}
extern "C" void* calloc (size_t a, size_t b)
{
    note();
    return __libc_calloc (a, b);
}
extern "C" void* realloc (void* p, size_t n)
{
    note();
    return __libc_realloc (p, n);
}
extern "C" int pthread_mutex_lock (pthread_mutex_t* m)
{
    using Fn = int (*) (pthread_mutex_t*);
    static Fn real = (Fn) dlsym (RTLD_NEXT, "pthread_mutex_lock");
    note();
    return real (m);
}

void* operator new (size_t n)
{
    note();
    if (void* p = __libc_malloc (n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[] (size_t n) { return operator new (n); }
void operator delete (void* p) noexcept
{
    if (p != nullptr)
        note();
    __libc_free (p);
}
void operator delete[] (void* p) noexcept { operator delete (p); }
void operator delete (void* p, size_t) noexcept { operator delete (p); }
void operator delete[] (void* p, size_t) noexcept { operator delete (p); }

TEST (RealTime, TheHookSeesAllocationsAndLocks)
{
    // The check must be able to fail.
    violations = 0;
    {
        Armed a;
        auto* p = new int (3);
        delete p;
        pthread_mutex_t m = PTHREAD_MUTEX_INITIALIZER;
        pthread_mutex_lock (&m);
        pthread_mutex_unlock (&m);
    }
    EXPECT_EQ (violations.load(), 3);
}

TEST (RealTime, ProcessBlockAndParameterChangesNeitherAllocateNorLock)
{
    VantorixAudioProcessor p;
    juce::MidiBuffer midi;
    tsig::Lcg g (17);

    for (double rate : { 44100.0, 96000.0 })
    {
      // The blocks run on a thread of their own, as a host's audio thread.
      std::thread audio ([&] {
        p.prepareToPlay (rate, 4096);
        auto input = tsig::pluckedPhrase ((int) rate, 3.0);
        juce::AudioBuffer<float> buffer (1, 4096);
        violations = 0;

        for (size_t pos = 0; pos + 4096 < input.size();)
        {
            const int n = 1 + (int) (g.next() % 4096);
            buffer.setSize (1, n, false, false, true); // within the allocated size: no allocation
            buffer.copyFrom (0, 0, input.data() + pos, n);
            {
                Armed a;
                // Automation arriving on the audio thread, then the block.
                p.parameterValueChanged ((int) (g.next() % 4), (float) (g.next() % 10001) / 10000.0f);
                if (g.next() % 7 == 0)
                    p.reset();
                p.processBlock (buffer, midi);
            }
            pos += (size_t) n;
        }
        EXPECT_EQ (violations.load(), 0) << rate;
      });
      audio.join();
    }
}
