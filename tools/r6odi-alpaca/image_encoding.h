// The two forms of ImageArray on the wire. Both list the pixels column by
// column (x outer, y inner, origin at the top-left pixel), as the standard
// orders them. ImageBytes keeps the element type Int32 that the standard
// fixes for ImageArray and sends the values as UInt16, which holds every
// value a 16-bit camera makes.
#pragma once

#include <cstdint>
#include <string>

#include "image.h"

namespace alpaca {

constexpr int kImageBytesHeaderSize = 44;

// The 44-byte metadata (version 1) of a successful image, little-endian.
std::string ImageBytesHeader(uint32_t clientTransactionId, uint32_t serverTransactionId, int width,
                             int height);

// The JSON answer is sent in pieces: the opening, the columns from
// `first` up to `last`, and the close with the envelope's other keys.
// "Type" and "Rank" come first and without spaces, for clients that find
// them with a pattern before parsing.
std::string JsonImageOpening();
void AppendJsonColumns(const Image& image, int first, int last, std::string* out);
std::string JsonImageClosing(uint32_t clientTransactionId, uint32_t serverTransactionId);

} // namespace alpaca
