#include "image_encoding.h"

#include <charconv>

namespace alpaca {
namespace {

constexpr int32_t kMetadataVersion = 1;
constexpr int32_t kInt32 = 2;
constexpr int32_t kUInt16 = 8;

void PutLittleEndian(uint32_t value, std::string* out)
{
    for (int shift = 0; shift < 32; shift += 8)
        out->push_back((char)((value >> shift) & 0xFF));
}

} // namespace

std::string ImageBytesHeader(uint32_t clientTransactionId, uint32_t serverTransactionId, int width, int height)
{
    std::string header;
    header.reserve(kImageBytesHeaderSize);
    const uint32_t fields[11] = {kMetadataVersion,  0, clientTransactionId, serverTransactionId,
                                 kImageBytesHeaderSize, kInt32, kUInt16, 2, (uint32_t)width, (uint32_t)height, 0};
    for (uint32_t field : fields)
        PutLittleEndian(field, &header);
    return header;
}

std::string JsonImageOpening()
{
    return "{\"Type\":2,\"Rank\":2,\"Value\":[";
}

void AppendJsonColumns(const Image& image, int first, int last, std::string* out)
{
    char number[8];
    for (int x = first; x < last; ++x) {
        out->append(x == 0 ? "[" : ",[");
        for (int y = 0; y < image.Height(); ++y) {
            if (y > 0)
                out->push_back(',');
            char* end = std::to_chars(number, number + sizeof number, image.At(x, y)).ptr;
            out->append(number, end);
        }
        out->push_back(']');
    }
}

std::string JsonImageClosing(uint32_t clientTransactionId, uint32_t serverTransactionId)
{
    return "],\"ClientTransactionID\":" + std::to_string(clientTransactionId) +
           ",\"ServerTransactionID\":" + std::to_string(serverTransactionId) + ",\"ErrorNumber\":0,\"ErrorMessage\":\"\"}";
}

} // namespace alpaca
