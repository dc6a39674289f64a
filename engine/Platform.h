#pragma once
// Platform conventions the engine writes into paths.

namespace Tellvar {

// Separator between the output folder and an output file name.
constexpr char kPathSeparator = '/';

}  // namespace Tellvar
