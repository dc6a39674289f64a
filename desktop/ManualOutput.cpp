#include "ManualOutput.h"
#include "CommandIds.h"

#include <wx/imagbmp.h>
#include <wx/image.h>
#include <wx/imagtiff.h>

namespace {
// TIFF tag values the handler takes as plain numbers.
constexpr int kTiffCompressionNone = 1;
constexpr int kTiffPhotometricRgb = 2;
}  // namespace

ManualOutputFormat manualOutputFormat(int outputFormat) {
    switch (outputFormat) {
        case idOutputJpeg: return {".jpg", wxBITMAP_TYPE_JPEG};
        case idOutputBmp: return {".bmp", wxBITMAP_TYPE_BMP};
        default: return {".tif", wxBITMAP_TYPE_TIFF};
    }
}

wxString manualOutputPath(const wxString& saveFolder, const wxString& fileName, int outputFormat) {
    return saveFolder + "/" + "crop_" + fileName.BeforeLast('.') +
           manualOutputFormat(outputFormat).extension;
}

void prepareManualSave(wxImage& image, wxBitmapType type) {
    if (image.HasAlpha()) image.ClearAlpha();

    switch (type) {
        case wxBITMAP_TYPE_JPEG: image.SetOption(wxIMAGE_OPTION_QUALITY, kManualJpegQuality); break;
        case wxBITMAP_TYPE_BMP: image.SetOption(wxIMAGE_OPTION_BMP_FORMAT, wxBMP_24BPP); break;
        case wxBITMAP_TYPE_TIFF:
            image.SetOption(wxIMAGE_OPTION_TIFF_BITSPERSAMPLE, 8);
            image.SetOption(wxIMAGE_OPTION_TIFF_SAMPLESPERPIXEL, 3);
            image.SetOption(wxIMAGE_OPTION_TIFF_COMPRESSION, kTiffCompressionNone);
            image.SetOption(wxIMAGE_OPTION_TIFF_PHOTOMETRIC, kTiffPhotometricRgb);
            break;
        default: break;
    }
}
