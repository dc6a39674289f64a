#pragma once
// What the benchmark drivers share: their command-line numbers and the
// medians they report.

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace benchsupport {

// A whole decimal int, nothing after it; false for anything else.
inline bool parseInt(const char* text, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < -2147483647L || parsed > 2147483647L) return false;
    *value = static_cast<int>(parsed);
    return true;
}

// The middle value; of an even count, the mean of the two middle ones.
inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace benchsupport
