// What the rest of the emulation asks the module loader (module.cpp): whether
// a piece of code is still mapped, and which threads run whose code. Guarded
// by core::Lock(); nothing outside src/platform/emul includes this.
#pragma once

#include <string>

#include "platform/emul/types.h"

namespace emu::core {

// True when `code` lies in a module that has been unloaded and not loaded
// again: on Windows a call there jumps into unmapped memory. Lock held.
bool CodeUnloaded(const void* code);
// The same, reporting the call as a misuse: the caller then does not make
// it. `call` says what would have been called. Lock held.
bool RefuseCallIntoUnloadedCode(const void* code, const std::string& call);
// The thread (an emulated one, by id) runs `routine`, from its creation
// until the routine returns. Lock held.
void ThreadRunsCode(DWORD thread, const void* routine);
void ThreadEndsCode(DWORD thread);
// Called by a blocking call on its way back to the calling thread: a thread
// whose routine lay in a module unloaded meanwhile would now return into
// unmapped memory. Reports it once per thread. Lock NOT held.
void CheckReturnIntoUnloadedCode(const char* call);

// Runs that check when a blocking call returns, after its own lock is gone:
// declared before the call's guard, it is destroyed after it.
struct ReturnCheck {
    explicit ReturnCheck(const char* call) : call(call) {}
    ~ReturnCheck() { CheckReturnIntoUnloadedCode(call); }
    const char* call;
};

} // namespace emu::core
