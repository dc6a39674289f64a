#pragma once
// The extensions the writers append to the paths they are given.

namespace Tellvar {

constexpr char kBmpExtension[] = ".bmp";   // BMP::saveImage
constexpr char kTiffExtension[] = ".tif";  // Brennock::saveTIFF

}  // namespace Tellvar
