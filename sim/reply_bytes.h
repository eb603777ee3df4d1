// Replies as the camera frames them: every command answers with its fixed
// length, a refusal too (status, then zero bytes), so that a driver reading
// the fixed length never waits for bytes that do not come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// The reply length of a command: 61 for GetInfo, 3 for GetValue, 5 for
// GetPower, 0 for the frame requests (they answer on the image pipe), 1 for
// every other code.
size_t ReplyLength(uint8_t code);
// The status alone, padded with zero bytes to the command's reply length.
std::vector<uint8_t> Refusal(uint8_t code, uint8_t status);
// Success, then the answer bytes, padded or cut to the reply length.
std::vector<uint8_t> Success(uint8_t code, const std::vector<uint8_t>& answer = {});
// The answer bytes of a 16-bit count, little endian.
std::vector<uint8_t> WordBytes(uint16_t value);

} // namespace sim
