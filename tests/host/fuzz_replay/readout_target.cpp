// The readout fuzz target, built into the replay test under a name of its own.
#define LLVMFuzzerTestOneInput ReadoutFuzzOneInput
#include "fuzz/readout_fuzz.cpp"
