// Helpers the export fixtures share: values the compiler cannot see
// through, so that each body keeps its calls and returns.
#pragma once

extern "C" __attribute__((noinline)) inline int FixtureOpaque(int value)
{
    int result;
    __asm__ volatile("" : "=r"(result) : "0"(value));
    return result;
}

extern "C" __attribute__((noinline, cold)) inline void FixtureRarely(int value)
{
    __asm__ volatile("" : : "r"(value));
}
