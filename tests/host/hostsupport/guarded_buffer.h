// A text buffer with guard bytes, to catch writes past a capacity's NUL.
#pragma once

#include <cstring>
#include <string>

namespace hostsupport_test {

class GuardedBuffer {
public:
    static constexpr int kSize = 400;
    static constexpr char kGuard = '#';

    GuardedBuffer() { std::memset(bytes, kGuard, sizeof bytes); }
    explicit GuardedBuffer(const char* content) : GuardedBuffer()
    {
        std::memcpy(bytes, content, std::strlen(content) + 1);
    }

    char* data() { return bytes; }
    std::string text() const { return std::string(bytes); }
    // True when nothing at or after `from` was written.
    bool UntouchedFrom(int from) const
    {
        for (int i = from; i < kSize; ++i) {
            if (bytes[i] != kGuard)
                return false;
        }
        return true;
    }

private:
    char bytes[kSize];
};

} // namespace hostsupport_test
