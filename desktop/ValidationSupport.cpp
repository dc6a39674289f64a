#include "ValidationSupport.h"

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"

std::unique_ptr<Tellvar::Brennock> makeValidationCodec(const wxString& inputExtension) {
    switch (inputFormatOf(inputExtension)) {
        case InputFormat::Bmp: return std::make_unique<Tellvar::BMP>();
        case InputFormat::Tif: return std::make_unique<Tellvar::TIF>();
        default: return std::make_unique<Tellvar::JPEG>();
    }
}
