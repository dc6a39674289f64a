#pragma once
// Hostile inputs for the codecs, as a careful user's data may hold them:
// files cut short, headers that claim huge pictures, depths, palettes and
// colour models the engine does not read, compressed, tiled and planar
// data, BigTIFF, corrupt entropy-coded data. Each is at most a few
// kilobytes and is made anew by whoever replays it (the corpus test, the
// fuzzers' seeds).

#include <string>
#include <vector>

namespace testsupport {

// File names, extension included, in a fixed order.
std::vector<std::string> hostileFileNames();

// Writes the hostile file of that name, or every one, into folder, which
// must exist.
void writeHostileFile(const std::string& folder, const std::string& name);
void writeHostileFiles(const std::string& folder);

}  // namespace testsupport
