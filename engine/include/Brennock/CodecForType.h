#pragma once
// The codec an engine type code chooses: BMP for kTypeCodeBmp, TIF for
// kTypeCodeTiff, JPEG for every other code.

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"
#include "Brennock/TypeCodes.h"

#include <memory>

namespace Tellvar {

inline std::unique_ptr<Brennock> makeCodec(int typeCode) {
    switch (typeCode) {
        case kTypeCodeBmp: return std::make_unique<BMP>();
        case kTypeCodeTiff: return std::make_unique<TIF>();
        default: return std::make_unique<JPEG>();
    }
}

}  // namespace Tellvar
