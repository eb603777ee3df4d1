// The image_stream fuzz target, built into the replay test under a name of its own.
#define LLVMFuzzerTestOneInput ImageStreamFuzzOneInput
#include "fuzz/image_stream_fuzz.cpp"
