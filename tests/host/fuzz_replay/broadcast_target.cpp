// The broadcast fuzz target, built into the replay test under a name of its own.
#define LLVMFuzzerTestOneInput BroadcastFuzzOneInput
#include "fuzz/broadcast_fuzz.cpp"
