#pragma once
// The engine type codes: the integer that chooses a run's codec
// (CodecForType.h). Any code but BMP's and TIFF's chooses the JPEG codec.

namespace Tellvar {

constexpr int kTypeCodeJpeg = 1021;
constexpr int kTypeCodeBmp = 1022;
constexpr int kTypeCodeTiff = 1025;

}  // namespace Tellvar
