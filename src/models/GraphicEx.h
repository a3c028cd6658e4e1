#pragma once
// The one picture loader of the program: every picture read from a file (terrain layer pictures,
// overlays, urban plan pictures, model textures) goes through LoadPicture, which chooses the reader
// by the file's lower-cased extension:
//   "bw", "rgb"          TSGIGraphic       (SGI images, verbatim or run-length encoded)
//   "cel", "pic"         TAutodeskGraphic  (old palette-based Autodesk Animator images)
//   "jpg", "jpeg"        libjpeg
//   "bmp", "gif", "png"  Qt's readers
//   "pcx", "tga"         TExtraGraphic     (our own PCX and TGA readers)
// Pictures come back as QImage::Format_RGB32, Format_ARGB32 (pictures with alpha) or
// Format_Indexed8 (palette and grey pictures). Headless: QtGui's QImage only.
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Largest picture accepted from any file (width x height), checked before anything is allocated.
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t(1) << 26;
// Largest picture file read into memory.
constexpr std::uint64_t kMaxPictureFileBytes = std::uint64_t(1) << 28;

// Loads the picture in fileName. On failure image is left unchanged, the reason goes to *error
// (when given) and the result is false. A name that does not exist as given is also looked for
// with '\' read as '/' and, component by component, case-insensitively.
bool LoadPicture(const std::string& fileName, QImage& image, std::string* error = nullptr);

// One registered picture format: extension (lower case, no dot) and its description.
struct TPictureFormat {
    const char* Extension;
    const char* Description;
};
// The formats LoadPicture accepts, in registration order (for file dialog filters).
const std::vector<TPictureFormat>& PictureFormats();

// The readers, working on a whole file's bytes. Each returns false and sets *error on bad input.
class TSGIGraphic {
public:
    static bool LoadFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error);
};

class TAutodeskGraphic {
public:
    static bool LoadFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error);
};

// The extra formats (in place of the optional external image library).
class TExtraGraphic {
public:
    static bool LoadPCXFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error);
    static bool LoadTGAFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error);
};

// JPEG through libjpeg.
bool LoadJPEGFromBytes(const std::uint8_t* data, std::size_t size, QImage& image, std::string* error);

// Expands one SGI run-length row from src into dst (dstSize bytes); bytes the row does not fill
// are zero. Returns the number of bytes the row produced (at most dstSize).
std::size_t ExpandSGIRow(const std::uint8_t* src, std::size_t srcSize, std::uint8_t* dst, std::size_t dstSize);

// Finds fileName on disk: as given, then with '\' read as '/', then matching each path component
// case-insensitively. Returns the name found, or an empty string.
std::string FindFileCaseInsensitive(const std::string& fileName);
