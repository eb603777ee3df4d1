// One way in which replies go wrong on their way to the driver, for the
// next few replies or for the replies to one command:
//
//   camera->InjectReplyFault(sim::ReplyFault::Status(0x81).ForCommand(15).Times(2));
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// A reply as the reply pipe will deliver it.
struct PendingReply {
    std::vector<uint8_t> bytes;
    bool lost = false;  // never arrives: a read waiting for it waits on
    uint64_t delay = 0; // arrives this many milliseconds after its request
    uint64_t readyAt = 0; // the clock time from which it can be read
};

class ReplyFault {
public:
    static constexpr int kForever = -1;

    // The status byte is replaced; the length is kept.
    static ReplyFault Status(uint8_t status);
    // Only the first `bytes` bytes arrive.
    static ReplyFault CutTo(size_t bytes);
    // The read succeeds with no bytes.
    static ReplyFault Empty();
    // Nothing arrives: a read waits until the pipe's time-out, if any.
    static ReplyFault Lost();
    // The reply arrives whole, `milliseconds` after its request (replies
    // after it wait their turn behind it).
    static ReplyFault Late(uint64_t milliseconds);

    // Only replies to requests with this code are touched (default: all).
    ReplyFault& ForCommand(uint8_t code);
    // How many replies are touched (default 1; kForever for no end).
    ReplyFault& Times(int count);

    bool Spent() const { return remaining_ == 0; }
    bool Matches(uint8_t code) const;
    // Reshapes one reply and counts it.
    void Apply(PendingReply* reply);

private:
    enum class Kind { Status, CutTo, Empty, Lost, Late };
    explicit ReplyFault(Kind kind) : kind_(kind) {}

    Kind kind_;
    uint8_t status_ = 0;
    size_t keep_ = 0;
    uint64_t delay_ = 0;
    int command_ = -1; // -1: every command
    int remaining_ = 1;
};

} // namespace sim
