// The skin's BMP files sit in the program's data folder, where a user may drop any file: a
// refused file leaves an empty bitmap, an accepted one an image of the header's size.
#include "fuzz/fuzz_support.h"
#include "ui/skin_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tw::fuzz::MemoryFile file(data, size);
    if (!file.ok())
        return 0;
    tw::CSkinBitmap bitmap;
    const int result = bitmap.Load(file.path());
    if (result != 1) {
        tw::fuzz::check(bitmap.IsEmpty() && bitmap.Width() == 0, "a refused file left an image");
        return 0;
    }
    tw::fuzz::check(size >= 54, "a file shorter than its headers was accepted");
    const auto le32 = [data](std::size_t at) {
        return static_cast<std::int32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                                         std::uint32_t(data[at + 3]) << 24);
    };
    tw::fuzz::check(bitmap.Width() == le32(18) && bitmap.Height() == le32(22),
                    "the image is not the header's size");
    tw::fuzz::check(static_cast<long long>(size) - 54 >=
                        tw::SkinRowBytes(data[28] | data[29] << 8, bitmap.Width()) *
                            bitmap.Height(),
                    "an image larger than the file was accepted");
    return 0;
}
