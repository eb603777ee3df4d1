// The setup fuzz target, built into the replay test under a name of its own.
#define LLVMFuzzerTestOneInput SetupFuzzOneInput
#include "fuzz/setup_fuzz.cpp"
