// Decodes arbitrary bytes as a JPEG picture.
#include "models/GraphicEx.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QImage image;
    std::string error;
    if (LoadJPEGFromBytes(data, size, image, &error) && image.isNull())
        __builtin_trap(); // success must bring a picture
    return 0;
}
