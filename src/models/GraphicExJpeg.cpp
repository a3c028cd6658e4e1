// JPEG decoding through libjpeg. libjpeg reports fatal errors through a callback that must not
// return; we leave with longjmp, so only trivially destructible state lives between setjmp and it.
#include "models/GraphicEx.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void Silent(j_common_ptr, int) {}

// Decodes into img; on failure *reason holds why.
// Kept apart from LoadJPEGFromBytes so that no object with a destructor is live across setjmp.
bool Decode(const std::uint8_t* data, std::size_t size, QImage* img, JpegError* err, jpeg_decompress_struct* cinfo,
            std::uint8_t** rowBuffer, const char** reason)
{
    cinfo->err = jpeg_std_error(&err->mgr);
    err->mgr.error_exit = ErrorExit;
    err->mgr.emit_message = Silent;
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(cinfo);
        *reason = err->message;
        return false;
    }
    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    const bool grey = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    cinfo->out_color_space = cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
    const std::uint64_t w = cinfo->image_width, h = cinfo->image_height;
    if (w == 0 || h == 0 || w * h > kMaxPicturePixels) {
        jpeg_destroy_decompress(cinfo);
        *reason = w == 0 || h == 0 ? "The picture has no pixels." : "The picture is too large.";
        return false;
    }
    jpeg_start_decompress(cinfo);
    const int components = cinfo->output_components;
    if ((grey && components != 1) || (cmyk && components != 4) || (!grey && !cmyk && components != 3)) {
        jpeg_destroy_decompress(cinfo);
        *reason = "Unsupported JPEG colour layout.";
        return false;
    }
    *img = grey ? QImage(int(w), int(h), QImage::Format_Indexed8) : QImage(int(w), int(h), QImage::Format_RGB32);
    *rowBuffer = static_cast<std::uint8_t*>(std::malloc(std::size_t(w) * std::size_t(components)));
    if (img->isNull() || !*rowBuffer) {
        jpeg_destroy_decompress(cinfo);
        *reason = "Not enough memory to load the picture.";
        return false;
    }
    if (grey) {
        QList<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(i, i, i);
        img->setColorTable(table);
    }
    // Adobe writes CMYK inverted; libjpeg hands the bytes through as stored.
    const bool inverted = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = int(cinfo->output_scanline);
        JSAMPROW row = *rowBuffer;
        jpeg_read_scanlines(cinfo, &row, 1);
        uchar* line = img->scanLine(y);
        if (grey) {
            std::memcpy(line, *rowBuffer, std::size_t(w));
            continue;
        }
        auto* px = reinterpret_cast<QRgb*>(line);
        const std::uint8_t* s = *rowBuffer;
        for (std::uint64_t x = 0; x < w; ++x, s += components) {
            if (!cmyk) {
                px[x] = qRgb(s[0], s[1], s[2]);
            } else {
                int c = s[0], m = s[1], ye = s[2], k = s[3];
                if (!inverted) {
                    c = 255 - c; m = 255 - m; ye = 255 - ye; k = 255 - k;
                }
                px[x] = qRgb(c * k / 255, m * k / 255, ye * k / 255);
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    jpeg_destroy_decompress(cinfo);
    return true;
}

} // namespace

bool LoadJPEGFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error)
{
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        if (error)
            *error = "The file is not a valid JPEG picture.";
        return false;
    }
    QImage img;
    JpegError err{};
    jpeg_decompress_struct cinfo{};
    std::uint8_t* rowBuffer = nullptr;
    const char* reason = nullptr;
    const bool ok = Decode(data, size, &img, &err, &cinfo, &rowBuffer, &reason);
    std::free(rowBuffer);
    if (!ok) {
        if (error)
            *error = std::string("Cannot load the JPEG picture: ") + (reason ? reason : "damaged data.");
        return false;
    }
    image = img;
    return true;
}
