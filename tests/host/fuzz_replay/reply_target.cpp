// The reply fuzz target, built into the replay test under a name of its own.
#define LLVMFuzzerTestOneInput ReplyFuzzOneInput
#include "fuzz/reply_fuzz.cpp"
