#include "models/GraphicEx.h"

#include <QByteArray>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool Fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

std::uint16_t BE16(const std::uint8_t* p) { return std::uint16_t((p[0] << 8) | p[1]); }
std::uint32_t BE32(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
std::uint16_t LE16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }

bool SizeAcceptable(std::uint64_t width, std::uint64_t height, std::string* error)
{
    if (width == 0 || height == 0)
        return Fail(error, "The picture has no pixels.");
    if (width * height > kMaxPicturePixels)
        return Fail(error, "The picture is too large (" + std::to_string(width) + " x " + std::to_string(height) + " pixels).");
    return true;
}

QImage GreyIndexed(int width, int height)
{
    QImage img(width, height, QImage::Format_Indexed8);
    if (img.isNull())
        return img;
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = qRgb(i, i, i);
    img.setColorTable(table);
    return img;
}

bool Allocated(const QImage& img, std::string* error)
{
    return !img.isNull() || Fail(error, "Not enough memory to load the picture.");
}

std::string LowerExtension(const std::string& fileName)
{
    std::string name = fileName;
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos)
        return {};
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string* error)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        return Fail(error, "Cannot read the picture file " + path + ".");
    if (size > kMaxPictureFileBytes)
        return Fail(error, "The picture file " + path + " is too large.");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Fail(error, "Cannot open the picture file " + path + ".");
    bytes.resize(size);
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size)))
        return Fail(error, "Cannot read the picture file " + path + ".");
    return true;
}

bool LoadWithQt(const std::vector<std::uint8_t>& bytes, const char* format, QImage& image, std::string* error)
{
    QImage img;
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    if (!img.loadFromData(data, format) || img.isNull())
        return Fail(error, std::string("The file is not a valid ") + format + " picture.");
    if (!SizeAcceptable(std::uint64_t(img.width()), std::uint64_t(img.height()), error))
        return false;
    if (img.format() != QImage::Format_Indexed8) {
        if (img.depth() <= 8 && !img.colorTable().isEmpty())
            img = img.convertToFormat(QImage::Format_Indexed8);
        else
            img = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    if (!Allocated(img, error))
        return false;
    // The bytes are borrowed: detach before they go away.
    img.detach();
    image = img;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// SGI

std::size_t ExpandSGIRow(const std::uint8_t* src, std::size_t srcSize, std::uint8_t* dst, std::size_t dstSize)
{
    std::memset(dst, 0, dstSize);
    std::size_t in = 0, out = 0;
    while (in < srcSize && out < dstSize) {
        const std::uint8_t control = src[in++];
        std::size_t count = control & 0x7F;
        if (count == 0)
            break;
        if (control & 0x80) {
            const std::size_t n = std::min({count, srcSize - in, dstSize - out});
            std::memcpy(dst + out, src + in, n);
            in += count;
            out += n;
        } else {
            if (in >= srcSize)
                break;
            const std::uint8_t value = src[in++];
            const std::size_t n = std::min(count, dstSize - out);
            std::memset(dst + out, value, n);
            out += n;
        }
    }
    return out;
}

bool TSGIGraphic::LoadFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error)
{
    constexpr std::size_t kDataStart = 512;
    if (size < 12)
        return Fail(error, "The SGI picture is damaged: its header is incomplete.");
    const std::uint8_t storage = data[2];
    const std::uint8_t bytesPerChannel = data[3];
    const std::uint64_t width = BE16(data + 6);
    const std::uint64_t height = BE16(data + 8);
    const std::uint64_t channels = BE16(data + 10);
    if (bytesPerChannel == 2)
        return Fail(error, "SGI pictures with 16 bits per channel are not supported.");
    if (channels == 0)
        return Fail(error, "The SGI picture is damaged: it has no channels.");
    if (!SizeAcceptable(width, height, error))
        return false;
    if (size < kDataStart)
        return Fail(error, "The SGI picture is damaged: the file ends before the image data.");

    // The channels the picture is made of: RGBA, RGB or the first channel as grey.
    const int used = channels == 4 ? 4 : channels == 3 ? 3 : 1;
    const bool rle = storage == 1;
    const std::uint64_t tableCount = height * channels;
    if (rle) {
        if (kDataStart + 8 * tableCount > size)
            return Fail(error, "The SGI picture is damaged: its row tables run past the end of the file.");
    } else if (kDataStart + std::uint64_t(used) * width * height > size) {
        return Fail(error, "The SGI picture is damaged: the file ends inside the image data.");
    }

    const int w = int(width), h = int(height);
    QImage img = used == 4 ? QImage(w, h, QImage::Format_ARGB32)
               : used == 3 ? QImage(w, h, QImage::Format_RGB32)
                           : GreyIndexed(w, h);
    if (!Allocated(img, error))
        return false;

    std::vector<std::uint8_t> rows(std::size_t(used) * width);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < used; ++c) {
            std::uint8_t* row = rows.data() + std::size_t(c) * width;
            if (rle) {
                const std::size_t index = std::size_t(c) * height + std::size_t(r);
                const std::uint64_t start = BE32(data + kDataStart + 4 * index);
                const std::uint64_t length = BE32(data + kDataStart + 4 * (tableCount + index));
                if (start + length > size)
                    return Fail(error, "The SGI picture is damaged: row " + std::to_string(r) + " lies past the end of the file.");
                ExpandSGIRow(data + start, std::size_t(length), row, std::size_t(width));
            } else {
                std::memcpy(row, data + kDataStart + (std::uint64_t(c) * height + std::uint64_t(r)) * width, std::size_t(width));
            }
        }
        // Files store the bottom row first.
        uchar* line = img.scanLine(h - 1 - r);
        if (used == 1) {
            std::memcpy(line, rows.data(), std::size_t(width));
        } else {
            auto* px = reinterpret_cast<QRgb*>(line);
            const std::uint8_t* red = rows.data();
            const std::uint8_t* green = red + width;
            const std::uint8_t* blue = green + width;
            const std::uint8_t* alpha = used == 4 ? blue + width : nullptr;
            for (int x = 0; x < w; ++x)
                px[x] = qRgba(red[x], green[x], blue[x], alpha ? alpha[x] : 255);
        }
    }
    image = img;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Autodesk Animator

bool TAutodeskGraphic::LoadFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error)
{
    constexpr std::size_t kPalette = 32, kPixels = 800;
    if (size < 2 || LE16(data) != 0x9119)
        return Fail(error, "Cannot load image. Only old style autodesk images are supported.");
    if (size < kPixels)
        return Fail(error, "The Autodesk picture is damaged: the file ends inside its header or palette.");
    const std::uint64_t width = LE16(data + 2), height = LE16(data + 4);
    if (!SizeAcceptable(width, height, error))
        return false;
    if (kPixels + width * height > size)
        return Fail(error, "The Autodesk picture is damaged: the file is shorter than " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels.");
    const int w = int(width), h = int(height);
    QImage img(w, h, QImage::Format_Indexed8);
    if (!Allocated(img, error))
        return false;
    // 6-bit palette values are scaled by 4 in 8-bit arithmetic, as the format's readers always did.
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t* e = data + kPalette + 3 * i;
        table[i] = qRgb(std::uint8_t(e[0] * 4), std::uint8_t(e[1] * 4), std::uint8_t(e[2] * 4));
    }
    img.setColorTable(table);
    for (int r = 0; r < h; ++r)
        std::memcpy(img.scanLine(r), data + kPixels + std::size_t(r) * width, std::size_t(width));
    image = img;
    return true;
}

// ---------------------------------------------------------------------------------------------
// PCX

bool TExtraGraphic::LoadPCXFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error)
{
    if (size < 128 || data[0] != 0x0A)
        return Fail(error, "The file is not a valid PCX picture.");
    const int version = data[1];
    const bool encoded = data[2] == 1;
    const int bits = data[3];
    const int xmin = LE16(data + 4), ymin = LE16(data + 6), xmax = LE16(data + 8), ymax = LE16(data + 10);
    const int planes = data[65];
    const std::uint64_t bytesPerLine = LE16(data + 66);
    if (xmax < xmin || ymax < ymin)
        return Fail(error, "The PCX picture is damaged: its window is empty.");
    const std::uint64_t width = std::uint64_t(xmax - xmin) + 1, height = std::uint64_t(ymax - ymin) + 1;
    const bool supported = (bits == 8 && (planes == 1 || planes == 3 || planes == 4)) ||
                           (bits == 1 && planes >= 1 && planes <= 4) || ((bits == 2 || bits == 4) && planes == 1);
    if (!supported)
        return Fail(error, "PCX pictures with " + std::to_string(bits) + " bits and " + std::to_string(planes) +
                               " planes are not supported.");
    if (!SizeAcceptable(width, height, error))
        return false;
    if (bytesPerLine * 8 < width * std::uint64_t(bits))
        return Fail(error, "The PCX picture is damaged: its lines are shorter than its width.");

    // Decode the whole run-length stream: some writers let runs cross line ends.
    const std::uint64_t lineBytes = bytesPerLine * std::uint64_t(planes);
    const std::uint64_t total = lineBytes * height;
    // Every run byte yields at most 63 bytes: a larger claim cannot be met by the file.
    if (total > (std::uint64_t(size) - 128) * (encoded ? 63 : 1))
        return Fail(error, "The PCX picture is damaged: the file is too short for its size.");
    std::vector<std::uint8_t> raw(std::size_t(total), 0);
    std::size_t in = 128, out = 0;
    while (out < total && in < size) {
        std::uint8_t b = data[in++];
        std::size_t count = 1;
        if (encoded && (b & 0xC0) == 0xC0) {
            count = b & 0x3F;
            if (in >= size)
                break;
            b = data[in++];
        }
        const std::size_t n = std::min<std::size_t>(count, std::size_t(total - out));
        std::memset(raw.data() + out, b, n);
        out += n;
    }

    const int w = int(width), h = int(height);
    QImage img;
    if (bits == 8 && planes >= 3) {
        img = QImage(w, h, planes == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (!Allocated(img, error))
            return false;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* line = raw.data() + std::size_t(y) * lineBytes;
            auto* px = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < w; ++x)
                px[x] = qRgba(line[x], line[bytesPerLine + x], line[2 * bytesPerLine + x],
                              planes == 4 ? line[3 * bytesPerLine + x] : 255);
        }
        image = img;
        return true;
    }

    img = QImage(w, h, QImage::Format_Indexed8);
    if (!Allocated(img, error))
        return false;
    QList<QRgb> table;
    if (bits == 8) {
        // 256-colour palette after a 0x0C marker at the end; grey when it is missing.
        table.resize(256);
        const bool hasPalette = size >= 128 + 769 && data[size - 769] == 0x0C && version >= 5;
        for (int i = 0; i < 256; ++i)
            table[i] = hasPalette ? qRgb(data[size - 768 + 3 * i], data[size - 767 + 3 * i], data[size - 766 + 3 * i])
                                  : qRgb(i, i, i);
    } else if (bits == 1 && planes == 1) {
        table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    } else {
        const int colours = 1 << (bits * planes);
        table.resize(colours);
        for (int i = 0; i < colours; ++i)
            table[i] = qRgb(data[16 + 3 * i], data[17 + 3 * i], data[18 + 3 * i]);
    }
    img.setColorTable(table);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* line = raw.data() + std::size_t(y) * lineBytes;
        uchar* dst = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            int index = 0;
            if (bits == 8) {
                index = line[x];
            } else {
                // Planes of packed pixels, most significant bits first; plane p gives bit group p.
                for (int p = 0; p < planes; ++p) {
                    const std::uint8_t* plane = line + std::size_t(p) * bytesPerLine;
                    const int bit = x * bits;
                    const int v = (plane[bit >> 3] >> (8 - bits - (bit & 7))) & ((1 << bits) - 1);
                    index |= v << (p * bits);
                }
            }
            dst[x] = uchar(index);
        }
    }
    image = img;
    return true;
}

// ---------------------------------------------------------------------------------------------
// TGA

namespace {

QRgb TGAColour(const std::uint8_t* p, int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 8:
        return qRgb(p[0], p[0], p[0]);
    case 15:
    case 16: {
        const int v = p[0] | (p[1] << 8);
        const int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        return qRgb((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
    }
    case 24:
        return qRgb(p[2], p[1], p[0]);
    default:
        return qRgba(p[2], p[1], p[0], p[3]);
    }
}

} // namespace

bool TExtraGraphic::LoadTGAFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error)
{
    if (size < 18)
        return Fail(error, "The file is not a valid TGA picture.");
    const int idLength = data[0];
    const int mapType = data[1];
    const int type = data[2];
    const int mapFirst = LE16(data + 3), mapLength = LE16(data + 5), mapBits = data[7];
    const std::uint64_t width = LE16(data + 12), height = LE16(data + 14);
    const int depth = data[16];
    const int descriptor = data[17];
    const int base = type & ~8;
    const bool rle = (type & 8) != 0;
    if (base < 1 || base > 3 || type > 11)
        return Fail(error, "TGA pictures of type " + std::to_string(type) + " are not supported.");
    const bool depthOk = base == 1 ? (depth == 8 || depth == 16) : base == 2 ? (depth == 15 || depth == 16 || depth == 24 || depth == 32)
                                                                              : (depth == 8 || depth == 16);
    if (!depthOk)
        return Fail(error, "TGA pictures of " + std::to_string(depth) + " bits per pixel are not supported.");
    if (!SizeAcceptable(width, height, error))
        return false;

    std::size_t pos = 18 + std::size_t(idLength);
    std::vector<QRgb> map;
    if (mapType == 1) {
        if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
            return Fail(error, "The TGA picture is damaged: its colour map has " + std::to_string(mapBits) + " bits per entry.");
        const std::size_t entryBytes = std::size_t((mapBits + 7) / 8);
        if (pos + entryBytes * std::size_t(mapLength) > size)
            return Fail(error, "The TGA picture is damaged: the file ends inside its colour map.");
        map.resize(std::size_t(mapLength));
        for (int i = 0; i < mapLength; ++i)
            map[std::size_t(i)] = TGAColour(data + pos + entryBytes * std::size_t(i), mapBits);
        pos += entryBytes * std::size_t(mapLength);
    } else if (base == 1) {
        return Fail(error, "The TGA picture is damaged: it has colour indices but no colour map.");
    }

    const std::size_t pixelBytes = std::size_t((depth + 7) / 8);
    const std::uint64_t count = width * height;
    const std::uint64_t available = size - std::min<std::size_t>(pos, size);
    // Raw data must be all there; a run-length packet of 1 + pixelBytes bytes yields at most 128 pixels.
    if ((!rle && count * pixelBytes > available) || (rle && count > available * 128))
        return Fail(error, "The TGA picture is damaged: the file ends inside the image data.");
    std::vector<std::uint8_t> pixels(std::size_t(count * pixelBytes), 0);
    if (!rle) {
        std::memcpy(pixels.data(), data + pos, pixels.size());
    } else {
        std::size_t out = 0;
        while (out < pixels.size() && pos < size) {
            const std::uint8_t header = data[pos++];
            const std::size_t n = std::size_t(header & 0x7F) + 1;
            const std::size_t room = (pixels.size() - out) / pixelBytes;
            if (header & 0x80) {
                if (pos + pixelBytes > size)
                    break;
                for (std::size_t i = 0; i < std::min(n, room); ++i)
                    std::memcpy(pixels.data() + out + i * pixelBytes, data + pos, pixelBytes);
                pos += pixelBytes;
                out += std::min(n, room) * pixelBytes;
            } else {
                const std::size_t have = (size - pos) / pixelBytes;
                const std::size_t m = std::min({n, room, have});
                std::memcpy(pixels.data() + out, data + pos, m * pixelBytes);
                pos += n * pixelBytes;
                out += m * pixelBytes;
                if (m < n && m < room)
                    break;
            }
        }
    }

    const int w = int(width), h = int(height);
    const bool alpha = (base == 2 && depth == 32) || (base == 1 && mapBits == 32) || (base == 3 && depth == 16);
    const bool grey8 = base == 3 && depth == 8;
    QImage img = grey8 ? GreyIndexed(w, h) : QImage(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (!Allocated(img, error))
        return false;
    const bool topDown = (descriptor & 0x20) != 0;
    const bool rightToLeft = (descriptor & 0x10) != 0;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = pixels.data() + std::size_t(y) * std::size_t(width) * pixelBytes;
        uchar* line = img.scanLine(topDown ? y : h - 1 - y);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = row + std::size_t(x) * pixelBytes;
            const int dx = rightToLeft ? w - 1 - x : x;
            if (grey8) {
                line[dx] = p[0];
                continue;
            }
            QRgb c;
            if (base == 1) {
                const int index = (depth == 8 ? p[0] : LE16(p)) - mapFirst;
                c = index >= 0 && std::size_t(index) < map.size() ? map[std::size_t(index)] : qRgb(0, 0, 0);
            } else if (base == 3) {
                c = qRgba(p[0], p[0], p[0], p[1]);
            } else {
                c = TGAColour(p, depth);
            }
            reinterpret_cast<QRgb*>(line)[dx] = c;
        }
    }
    image = img;
    return true;
}

// ---------------------------------------------------------------------------------------------
// The loader

const std::vector<TPictureFormat>& PictureFormats()
{
    static const std::vector<TPictureFormat> formats = {
        {"bw", "SGI black/white images"}, {"rgb", "SGI true color images"}, {"cel", "Autodesk image"},
        {"pic", "Autodesk image"},        {"jpg", "JPG images"},            {"jpeg", "JPG images"},
        {"gif", "GIF images"},            {"pcx", "PCX images"},            {"tga", "TGA images"},
        {"bmp", "Bitmaps"},               {"png", "PNG images"},
    };
    return formats;
}

std::string FindFileCaseInsensitive(const std::string& fileName)
{
    std::error_code ec;
    if (fileName.empty())
        return {};
    if (fs::is_regular_file(fileName, ec))
        return fileName;
    std::string name = fileName;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (fs::is_regular_file(name, ec))
        return name;
    const fs::path path(name);
    fs::path current = path.has_root_path() ? path.root_path() : fs::path(".");
    const fs::path rel = path.relative_path();
    for (auto it = rel.begin(); it != rel.end(); ++it) {
        const fs::path part = *it;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            current /= part;
            continue;
        }
        fs::path exact = current / part;
        if (fs::exists(exact, ec)) {
            current = exact;
            continue;
        }
        auto lower = [](std::string s) {
            for (char& c : s)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            return s;
        };
        const std::string want = lower(part.string());
        bool found = false;
        for (fs::directory_iterator d(current, ec), end; !ec && d != end; d.increment(ec)) {
            if (lower(d->path().filename().string()) == want) {
                current = d->path();
                found = true;
                break;
            }
        }
        if (!found)
            return {};
    }
    if (!fs::is_regular_file(current, ec))
        return {};
    std::string result = current.string();
    if (!path.has_root_path() && result.rfind("./", 0) == 0)
        result = result.substr(2);
    return result;
}

bool LoadPicture(const std::string& fileName, QImage& image, std::string* error)
{
    const std::string ext = LowerExtension(fileName);
    enum class Reader { SGI, Autodesk, JPEG, PCX, TGA, BMP, GIF, PNG };
    Reader reader;
    if (ext == "bw" || ext == "rgb")
        reader = Reader::SGI;
    else if (ext == "cel" || ext == "pic")
        reader = Reader::Autodesk;
    else if (ext == "jpg" || ext == "jpeg")
        reader = Reader::JPEG;
    else if (ext == "pcx")
        reader = Reader::PCX;
    else if (ext == "tga")
        reader = Reader::TGA;
    else if (ext == "bmp")
        reader = Reader::BMP;
    else if (ext == "gif")
        reader = Reader::GIF;
    else if (ext == "png")
        reader = Reader::PNG;
    else
        return Fail(error, "Unknown picture file extension \"." + ext + "\" (" + fileName + ").");

    const std::string path = FindFileCaseInsensitive(fileName);
    if (path.empty())
        return Fail(error, "Picture file not found: " + fileName);
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error))
        return false;
    const std::uint8_t* d = bytes.data();
    const std::size_t n = bytes.size();
    switch (reader) {
    case Reader::SGI: return TSGIGraphic::LoadFromBytes(d, n, image, error);
    case Reader::Autodesk: return TAutodeskGraphic::LoadFromBytes(d, n, image, error);
    case Reader::JPEG: return LoadJPEGFromBytes(d, n, image, error);
    case Reader::PCX: return TExtraGraphic::LoadPCXFromBytes(d, n, image, error);
    case Reader::TGA: return TExtraGraphic::LoadTGAFromBytes(d, n, image, error);
    case Reader::BMP: return LoadWithQt(bytes, "BMP", image, error);
    case Reader::GIF: return LoadWithQt(bytes, "GIF", image, error);
    case Reader::PNG: return LoadWithQt(bytes, "PNG", image, error);
    }
    return Fail(error, "Unknown picture format.");
}
