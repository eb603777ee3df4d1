// Reads of the reply and image pipes, bounded by the driver itself.
//
// A USB bulk pipe commonly has no time-out of its own: a reply or a frame
// that never comes would keep the host's thread in ReadFile for good. The
// pipes are therefore opened for overlapped I/O and every read waits at
// most a limit of the driver's; a read that runs out of time is cancelled,
// and waited for, before its buffer goes. What arrives after a reader gave
// up stays in the pipe, so a pipe whose read failed or came back short is
// drained before its next use: otherwise a late reply would be taken for
// the next one, and the tail of a failed frame for the start of the next.
// The first answer after a drain is then checked for more coming behind it:
// if more comes, that answer may itself have been the late one, and it is
// refused too, until an answer stands alone.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace r6odi {

// The longest a reply may take: every command is answered at once.
constexpr DWORD kReplyLimitMs = 2000;
// A frame may take its bytes at this rate (half of what USB full speed
// carries at best, so that a camera on a slow or busy port still makes
// it), plus the exposure where the request starts one, plus this margin.
constexpr uint64_t kSlowestFrameBytesPerSecond = 500000;
constexpr DWORD kFrameMarginMs = 5000;
// How long a drain waits for more before it takes the pipe for empty.
constexpr DWORD kDrainWaitMs = 20;
// Replies are a few bytes long: a reply pipe that gives more than this
// while being drained does not empty.
constexpr uint64_t kMostReplyDrainBytes = 64 * 1024;

// The longest a frame of `transferBytes` may take to arrive after its
// request, which exposes for `exposureMs` first (0 for none).
DWORD FrameLimitMs(uint64_t transferBytes, uint32_t exposureMs);

// Opens a pipe that the driver reads, for overlapped I/O.
// INVALID_HANDLE_VALUE on failure.
HANDLE OpenReadPipe(const char* name);

// One read of at most `size` bytes that waits at most `limitMs`. True with
// the count in `delivered` when the read completed; false when it failed,
// could not start, or ran out of time (it is then cancelled and its end
// waited for; `delivered` holds what it had brought, usually 0).
bool ReadPipe(HANDLE pipe, void* buffer, DWORD size, DWORD limitMs, DWORD* delivered);

// Reads and discards what the pipe holds, into `scratch`, until a read
// finds nothing within kDrainWaitMs or fails (or a run of reads delivers
// nothing at once). False when more than `most`
// bytes came without an end (a pipe that will not empty).
bool DrainPipe(HANDLE pipe, void* scratch, DWORD scratchSize, uint64_t most);

// Whether nothing more arrives within kDrainWaitMs. After a resync the
// first answer is checked so: a reply or frame that came so late that it
// arrived only after the drain, just ahead of the answer to the new
// request, would otherwise pass for that answer. What arrived is left for
// the next drain (the bytes read here are gone).
bool PipeStaysQuiet(HANDLE pipe, void* scratch, DWORD scratchSize);

} // namespace r6odi
