#pragma once
// Height-data importers: a file plus the import options to a fresh THeightImport. Nothing here
// touches the project; the caller commits the result (CommitHeightImport) only when Ok is set.
// The *Data variants take the file's bytes (used by the file variants and the fuzz targets).
#include "heightgrid/data/HeightData.h"
#include "heightgrid/data/ImportOptions.h"

#include <QImage>

#include <string>
#include <string_view>

enum class TImportFormat { Text, XYZ, BMP, NTF, USGS, PGM, Vistapro };

inline constexpr const char* kMsgInvalidText = "Invalid data in text file";
inline constexpr const char* kMsgInvalidNTF = "Invalid data in NTF file";
inline constexpr const char* kMsgInvalidVista = "Invalid Vistapro DEM file";
inline constexpr const char* kMsgCannotRead = "Cannot read file";

// Whitespace-separated reals into the current grid's cells, top row first.
TImportResult ImportText(const std::string& fileName, const TGridBlock& current);
TImportResult ImportTextData(std::string_view data, const TGridBlock& current);

// The program's own XYZ point files.
TImportResult ImportXYZ(const std::string& fileName, const TImportOptions& options, const TGridBlock& current);
TImportResult ImportXYZData(std::string_view data, const TImportOptions& options, const TGridBlock& current);

// Plain (text) PGM, samples taken as heights.
TImportResult ImportPGM(const std::string& fileName, const TPGMImportOptions& options);
TImportResult ImportPGMData(std::string_view data, const TPGMImportOptions& options);

// A picture whose pixels encode heights (24-bit values in the chosen channel order).
TImportResult ImportBMP(const std::string& fileName, const TBMPImportOptions& options);
TImportResult ImportBMPData(std::string_view data, const TBMPImportOptions& options);
// The two halves the import command runs on either side of its options dialog: the picture is
// loaded first (false: not a picture, refused before any question), then its pixels are taken.
bool LoadBMPPicture(const std::string& fileName, QImage& picture);
TImportResult ImportBMPPicture(const QImage& picture, const TBMPImportOptions& options);

// One UK Ordnance Survey NTF Panorama tile (401 x 401 heights).
TImportResult ImportNTF(const std::string& fileName, const TImportOptions& options, const TGridBlock& current);
TImportResult ImportNTFData(std::string_view data, const TImportOptions& options, const TGridBlock& current);

// A Vistapro DEM (258 x 258 heights).
TImportResult ImportVistaDEM(const std::string& fileName);
TImportResult ImportVistaDEMData(std::string_view data);

// Reads a whole file; false (with kMsgCannotRead) when it cannot be opened or is too large.
bool ReadWholeFile(const std::string& fileName, std::string& data);

// A whole file's bytes without copying them: the file is mapped read-only (or read, where it
// cannot be mapped) for as long as the view lives.
class TFileView {
public:
    TFileView() = default;
    ~TFileView();
    TFileView(const TFileView&) = delete;
    TFileView& operator=(const TFileView&) = delete;
    // False when the file cannot be opened or is too large (as ReadWholeFile).
    bool Open(const std::string& fileName);
    std::string_view View() const { return view_; }

private:
    void* map_ = nullptr;
    size_t mapped_ = 0;
    std::string copy_;
    std::string_view view_;
};

// The options each importer's dialog starts from (the importers' own defaults).
TImportOptions DefaultImportOptions(TImportFormat format);
