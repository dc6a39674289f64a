// libFuzzer entry point for one codec operation. The build compiles this
// file once per codec and operation, choosing them with FUZZ_CODEC_* and
// FUZZ_ENTRY_* definitions.
//
// The codecs take a path, so each input is written to a file of this
// process's own (in /dev/shm when there is one) and the codec reads it.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"

#if defined(FUZZ_CODEC_BMP)
using Codec = Tellvar::BMP;
#elif defined(FUZZ_CODEC_JPEG)
using Codec = Tellvar::JPEG;
#elif defined(FUZZ_CODEC_TIFF)
using Codec = Tellvar::TIF;
#else
#error "define FUZZ_CODEC_BMP, FUZZ_CODEC_JPEG or FUZZ_CODEC_TIFF"
#endif

#if !defined(FUZZ_ENTRY_openImage) && !defined(FUZZ_ENTRY_sizeChecker)
#error "define FUZZ_ENTRY_openImage or FUZZ_ENTRY_sizeChecker"
#endif

namespace {

// The input file, removed when the process ends normally.
class InputFile {
public:
    InputFile() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        const fs::path folder = fs::is_directory("/dev/shm", ignored) ? fs::path("/dev/shm")
                                                                      : fs::temp_directory_path();
        path_ = (folder / ("tellvar-fuzz-" + std::to_string(getpid()) + ".img")).string();
    }
    ~InputFile() { std::remove(path_.c_str()); }

    const std::string& write(const std::uint8_t* data, std::size_t size) {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
            std::abort();  // the harness itself failed; nothing to learn from this input
        return path_;
    }

private:
    std::string path_;
};

InputFile& inputFile() {
    static InputFile file;
    return file;
}

// A failure must always come with a message, a success with a usable size.
void checkOutcome(bool ok, int width, int height, const std::string& error) {
    if (!ok && error.empty()) std::abort();
    if (ok && (width <= 0 || height <= 0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = inputFile().write(data, size);
    Codec codec;
    std::string error;
    int width = 0, height = 0;

#if defined(FUZZ_ENTRY_openImage)
    unsigned char* buffer = nullptr;
    int depth = 0;
    const bool ok = codec.openImage(&buffer, path, &width, &height, &depth, &error);
    checkOutcome(ok, width, height, error);
    if (ok) {
        // The last byte of the promised frame must lie inside the allocation.
        volatile unsigned char last =
            buffer[static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3 - 1];
        (void)last;
        delete[] buffer;
    } else if (buffer != nullptr) {
        std::abort();  // a failed read hands out nothing
    }
#else
    const bool ok = codec.sizeChecker(&width, &height, path, &error);
    checkOutcome(ok, width, height, error);
#endif
    return 0;
}
