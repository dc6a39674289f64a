#pragma once
// Command-line numbers of the benchmark drivers.

#include <cstdlib>

namespace benchargs {

// A whole decimal int, nothing after it; false for anything else.
inline bool parseInt(const char* text, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < -2147483647L || parsed > 2147483647L) return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace benchargs
