#include <cstdio>

#include <png.h>

#include "png_preview.h"

namespace capture {

bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& grey,
              std::string* error)
{
    if (width <= 0 || height <= 0 || grey.size() != (size_t)width * (size_t)height) {
        *error = "no picture to write to " + path;
        return false;
    }
    std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot create " + temporary;
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = (png_uint_32)width;
    image.height = (png_uint_32)height;
    image.format = PNG_FORMAT_GRAY;
    bool written = png_image_write_to_stdio(&image, file, 0, grey.data(), width, nullptr) != 0;
    std::string reason = written ? std::string() : image.message;
    png_image_free(&image);
    bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + (reason.empty() ? std::string() : ": " + reason);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace capture
