#pragma once
// The files a run will write, checked before it writes anything.
//
// A run is refused when two of its outputs would be one file, so that one
// crop would silently replace another, or when an output (the stacked image
// included) would be one of the run's own input files. Inputs and outputs
// are compared as files: by device and inode where the file exists (links
// resolved), by their resolved path where it does not yet. Output names are
// moreover compared without regard to upper and lower case: on the drives
// a save folder often lives on (memory cards and USB sticks, Windows
// shares, folders with case folding) crop_M42 and crop_m42 are one file,
// and a refusal the user can mend by renaming costs less than a crop lost
// without a word. Files left in the save folder by earlier runs are no
// concern: they are replaced, as always.

#include <string>

namespace Tellvar {

class MainProcessor;
struct RunPlan;

namespace detail {

// Empty when the run's outputs are fine; otherwise the complete refusal,
// naming the files.
std::string outputClash(MainProcessor& processor, const RunPlan& plan);

}  // namespace detail
}  // namespace Tellvar
