// How many process-heap blocks a piece of code left behind.
#pragma once

#include "platform/emul/control.h"

namespace hostsupport_test {

class HeapBalance {
public:
    long Change() const { return emu::Snapshot().heapBlocks - start; }

private:
    long start = emu::Snapshot().heapBlocks;
};

} // namespace hostsupport_test
