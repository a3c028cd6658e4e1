// Loads a picture with our loader and writes its pixels for the interop script: a line
// "width height" and then width x height RGBA bytes, top row first.
#include "models/GraphicEx.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: dumppicture picture output\n");
        return 2;
    }
    QImage image;
    std::string error;
    if (!LoadPicture(argv[1], image, &error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out)
        return 2;
    std::fprintf(out, "%d %d\n", image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            const unsigned char px[4] = {uchar(qRed(c)), uchar(qGreen(c)), uchar(qBlue(c)), uchar(qAlpha(c))};
            std::fwrite(px, 1, 4, out);
        }
    return std::fclose(out) == 0 ? 0 : 2;
}
