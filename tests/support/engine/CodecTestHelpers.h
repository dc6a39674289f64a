#pragma once
// Small helpers the codec tests share.

#include "Brennock/Brennock.h"
#include "codecs/FrameAdmission.h"

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace codectest {

// What openImage handed out, copied so the test owns it.
struct ReadResult {
    bool ok = false;
    std::vector<std::uint8_t> pixels;
    int width = 0, height = 0, depth = 0;
    std::string error;
};

inline ReadResult readImage(Tellvar::Brennock& codec, const std::string& path) {
    ReadResult result;
    unsigned char* buffer = nullptr;
    result.ok =
        codec.openImage(&buffer, path, &result.width, &result.height, &result.depth, &result.error);
    if (result.ok) {
        result.pixels.assign(buffer,
                             buffer + static_cast<std::size_t>(result.width) * result.height * 3);
        delete[] buffer;
    }
    return result;
}

// A frame opened for a run's registration, its rows left to be read on
// demand; frame is null (and the current test has failed) when it could not
// be opened so.
struct OnDemandFrame {
    std::unique_ptr<unsigned char[]> frame;
    std::unique_ptr<Tellvar::detail::FrameRows> rows;
    int width = 0, height = 0, depth = 0;
};

template <typename Codec>
OnDemandFrame openOnDemand(Codec& codec, const std::string& path) {
    OnDemandFrame opened;
    unsigned char* buffer = nullptr;
    std::string error;
    const bool ok =
        Tellvar::detail::openAdmitted(codec, path, &buffer, &opened.width, &opened.height,
                                      &opened.depth, &error, nullptr, &opened.rows);
    opened.frame.reset(buffer);
    EXPECT_TRUE(ok && opened.rows) << error;
    if (!opened.rows) opened.frame.reset();
    return opened;
}

struct SizeResult {
    bool ok = false;
    int width = 0, height = 0;
    std::string error;
};

inline SizeResult checkSize(Tellvar::Brennock& codec, const std::string& path) {
    SizeResult result;
    result.ok = codec.sizeChecker(&result.width, &result.height, path, &result.error);
    return result;
}

// width x height x 3 bytes of noise: every byte position distinguishable.
inline std::vector<std::uint8_t> noiseFrame(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width) * height * 3);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

inline std::string errorText(int errorNumber) { return std::strerror(errorNumber); }

inline bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

inline int openDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

// The process's peak resident memory so far.
inline long peakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

inline std::uint32_t le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline std::uint16_t le16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline void putLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void putLe16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Makes allocations beyond a few tens of megabytes fail in a death-test child
// (run in the "threadsafe" style, which re-executes the test program).
// Under the address sanitizer, whose reserved address space rules out a cap,
// the sanitizer's allocator options do it: they are set here in the parent
// and read by the child when it starts. Otherwise the child calls
// applyInChild, which caps its address space at what it uses plus headroom.
class AllocationCap {
public:
    static constexpr std::size_t kHeadroomBytes = 64u << 20;

    AllocationCap() {
        if (!kAddressSanitizer) return;
        const char* previous = std::getenv("ASAN_OPTIONS");
        hadPrevious_ = previous != nullptr;
        if (hadPrevious_) previous_ = previous;
        const std::string options = previous_ + (previous_.empty() ? "" : ":") +
                                    "allocator_may_return_null=1:max_allocation_size_mb=" +
                                    std::to_string(kHeadroomBytes >> 20);
        setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    ~AllocationCap() {
        if (!kAddressSanitizer) return;
        if (hadPrevious_)
            setenv("ASAN_OPTIONS", previous_.c_str(), 1);
        else
            unsetenv("ASAN_OPTIONS");
    }
    AllocationCap(const AllocationCap&) = delete;
    AllocationCap& operator=(const AllocationCap&) = delete;

    static void applyInChild() {
        if (kAddressSanitizer) return;
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + kHeadroomBytes;
        rlimit cap{limit, limit};
        setrlimit(RLIMIT_AS, &cap);
    }

private:
    bool hadPrevious_ = false;
    std::string previous_;
};

// Caps the size of files this process writes; writes past it fail with
// EFBIG instead of raising SIGXFSZ. Meant for a forked death-test child.
inline void limitFileSize(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit cap{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &cap);
}

// Ends a death-test child with 0 when ok, else with 1 after printing detail.
// The re-executed child made its own scratch folder, which _Exit would leave
// behind, so it is removed first.
[[noreturn]] inline void finishChild(bool ok, const std::string& detail,
                                     const std::string& scratchFolder) {
    if (!ok) std::fprintf(stderr, "%s\n", detail.c_str());
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder, ignored);
    std::_Exit(ok ? 0 : 1);
}

}  // namespace codectest
