#include "sim/frame_request.h"

#include "sim/command_code.h"

namespace sim {
namespace {

uint16_t WordAt(const std::vector<uint8_t>& bytes, size_t offset)
{
    return (uint16_t)(bytes[offset] | bytes[offset + 1] << 8);
}

} // namespace

bool FrameRequest::operator==(const FrameRequest& other) const
{
    return code == other.code && firstRow == other.firstRow && rowCount == other.rowCount &&
           firstColumn == other.firstColumn && columnCount == other.columnCount &&
           timeMs == other.timeMs && frameFlag == other.frameFlag;
}

bool ParseFrameRequest(const std::vector<uint8_t>& request, FrameRequest* frame)
{
    if (request.empty())
        return false;
    bool exposes = request[0] == command::ExposeAndReadFrame;
    if (request.size() < (exposes ? kExposeAndReadFrameSize : kReadFrameSize))
        return false;
    FrameRequest parsed;
    parsed.code = request[0];
    parsed.firstRow = WordAt(request, 1);
    parsed.rowCount = WordAt(request, 3);
    parsed.firstColumn = WordAt(request, 5);
    parsed.columnCount = WordAt(request, 7);
    if (exposes) {
        parsed.timeMs = WordAt(request, 9);
        parsed.frameFlag = request[11];
    }
    *frame = parsed;
    return true;
}

} // namespace sim
