// The profile fuzz target, built into the replay test under a name of its own.
#define LLVMFuzzerTestOneInput ProfileFuzzOneInput
#include "fuzz/profile_fuzz.cpp"
