// The module's bitmap resources; see resources.h.
#include "platform/resources.h"

#include <vector>

namespace {

// A bottom-up 24-bit bitmap of one colour; rows are padded to four bytes.
struct SolidBitmap {
    DcBitmapInfoHeader info{};
    std::vector<unsigned char> bits;

    SolidBitmap(int width, int height, unsigned char blue, unsigned char green, unsigned char red)
    {
        const int stride = (width * 3 + 3) & ~3;
        info.size = sizeof info;
        info.width = width;
        info.height = height;
        info.planes = 1;
        info.bit_count = 24;
        info.size_image = static_cast<uint32_t>(stride * height);
        bits.assign(info.size_image, 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                unsigned char* pixel = &bits[static_cast<size_t>(y * stride + x * 3)];
                pixel[0] = blue;
                pixel[1] = green;
                pixel[2] = red;
            }
    }
};

} // namespace

bool load_bitmap_resource(int id, ResourceBitmap* bitmap)
{
    if (bitmap == nullptr)
        return false;
    if (id == IDB_DEVICE_PAGE) {
        static const SolidBitmap white(160, 128, 0xFF, 0xFF, 0xFF);
        *bitmap = {&white.info, white.bits.data(), white.bits.size()};
        return true;
    }
    return false;
}
