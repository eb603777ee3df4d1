// What every fuzz target shares: the input read as a stream of choices, and
// the one way a broken invariant ends a run.
//
// An input that runs out reads as zeros, so that every prefix of an input
// is itself a valid input and the fuzzer can shorten what it finds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzz {

[[noreturn]] inline void Violated(const char* target, const char* what)
{
    std::fprintf(stderr, "%s: invariant violated: %s\n", target, what);
    std::abort();
}

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t Long() { return Word() | static_cast<uint32_t>(Word()) << 16; }
    bool Chance(uint8_t in256) { return Byte() < in256; }
    // One of `count` choices.
    size_t Pick(size_t count) { return count == 0 ? 0 : Byte() % count; }
    std::vector<uint8_t> Bytes(size_t count)
    {
        std::vector<uint8_t> bytes(count);
        for (uint8_t& b : bytes)
            b = Byte();
        return bytes;
    }
    bool Exhausted() const { return at_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace fuzz
