#include "Brennock/JPEG.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// jpeglib.h expects FILE and size_t to be declared before it.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "codecs/CodecMessages.h"
#include "codecs/FrameAdmission.h"
#include "codecs/FrameLimits.h"
#include "codecs/InputFile.h"
#include "codecs/JpegErrors.h"

namespace Tellvar {

thread_local char jpegLastErrorMsg[kJpegMessageLength];

namespace {

// The codec speaks the jpeg 6b interface.
constexpr int kJpegInterfaceVersion = 62;
static_assert(JPEG_LIB_VERSION == kJpegInterfaceVersion,
              "the JPEG codec is written for the jpeg 6b interface");
static_assert(kJpegMessageLength == JMSG_LENGTH_MAX,
              "jpegLastErrorMsg must hold a whole library message");

// Working memory the library may claim for one decode (progressive files keep
// all their coefficients). A hostile header asking for more is refused by
// the library's memory manager instead of exhausting the machine.
constexpr long kJpegWorkingMemory = 1L << 30;

// The standard error manager followed by the recovery point; jpegErrorExit
// finds the jump buffer through the decompressor's error manager pointer.
struct JpegErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf recovery;
    // The library's own handling of the messages this codec lets pass.
    void (*libraryEmitMessage)(jpeg_common_struct*, int) = nullptr;
};

// Most warnings mean the library carries on with invented data: the file
// ends early (the rest of the picture grey; a file missing no more than its
// end marker cannot be told from one cut short), or its entropy-coded data
// is damaged (blocks lost or garbled). Only these three cost no pixel: bytes
// to skip before a marker, an unknown JFIF revision, and an unknown Adobe
// colour transform code (the library then takes the usual one).
bool warningLosesNoPixel(int messageCode) {
    return messageCode == JWRN_EXTRANEOUS_DATA || messageCode == JWRN_JFIF_MAJOR ||
           messageCode == JWRN_ADOBE_XFORM;
}

// The library's message hook: a warning that costs pixels fails the decode
// like a fatal error, before the rest of the frame is filled in; other
// messages take the library's own course.
void jpegEmitMessage(jpeg_common_struct* cinfo, int messageLevel) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    if (messageLevel < 0 && !warningLosesNoPixel(cinfo->err->msg_code)) jpegErrorExit(cinfo);
    errors->libraryEmitMessage(cinfo, messageLevel);
}

// Everything one call acquires. It lives in the operation's frame, outside
// the function that sets the recovery point, so its members keep their
// values across the jump back and its destructor releases them on every exit.
struct JpegSession {
    // wholeFile: the pixels are decoded, so all of the file is read.
    JpegSession(std::FILE* input, bool wholeFile) : file(input) {
        // The library asks the stream for 4 KiB at a time, and a stream's
        // own buffer is as small: a 1600 x 1200 frame took over a hundred
        // reads. With this one a few do. A size check of a sequential file
        // reads only its headers, so it keeps the stream's own buffer, as
        // does a decode without the memory.
        if (wholeFile) streamBuffer.reset(new (std::nothrow) char[kReadBufferBytes]);
        if (streamBuffer) std::setvbuf(file, streamBuffer.get(), _IOFBF, kReadBufferBytes);
        std::memset(&decompressor, 0, sizeof decompressor);
        decompressor.err = jpeg_std_error(&errors.standard);
        errors.standard.error_exit = jpegErrorExit;
        errors.libraryEmitMessage = errors.standard.emit_message;
        errors.standard.emit_message = jpegEmitMessage;
    }
    ~JpegSession() {
        // Safe whether or not the decompressor was ever created: the library
        // leaves its memory manager null until creation succeeds.
        jpeg_destroy_decompress(&decompressor);
        delete[] image;
        std::fclose(file);
    }
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;

    // Below the allocator's threshold for mapping memory of its own, so
    // that a reader reuses it frame after frame without page faults.
    static constexpr std::size_t kReadBufferBytes = std::size_t{64} << 10;

    jpeg_decompress_struct decompressor;
    JpegErrorManager errors;
    // Freed after the stream is closed (the destructor's body runs first).
    std::unique_ptr<char[]> streamBuffer;
    std::FILE* file;
    unsigned char* image = nullptr;
    std::string refusal;  // the admission's message when it refused the frame
};

enum class DecodeResult { Ok, LibraryError, UnsupportedColour, TooLarge, OutOfMemory, Refused };

// Colour spaces the library can turn into 3 RGB components.
bool convertibleToRgb(J_COLOR_SPACE space) {
    return space == JCS_GRAYSCALE || space == JCS_YCbCr || space == JCS_RGB;
}

// The bytes the library holds besides the frame while it decodes: a file of
// several scans is buffered whole as DCT coefficients (one 128-byte block
// per 8 x 8 samples of each component, padded to the component's sampling
// factors) before its first row comes out; a sequential file needs only
// working rows. Valid once the header has been read.
std::uint64_t coefficientBytes(const jpeg_decompress_struct& cinfo) {
    if (!jpeg_has_multiple_scans(const_cast<jpeg_decompress_struct*>(&cinfo))) return 0;
    const auto roundUp = [](std::uint64_t value, int multiple) {
        const auto step = static_cast<std::uint64_t>(std::max(1, multiple));
        return (value + step - 1) / step * step;
    };
    std::uint64_t bytes = 0;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info& component = cinfo.comp_info[c];
        bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) * sizeof(JBLOCK);
    }
    return bytes;
}

// Reads the header and starts the decompressor; with readPixels also admits
// the frame (when an admission is given) and decodes every row into
// session.image. Holds the recovery point, so every library call happens
// inside it; it has no locals that outlive a jump.
DecodeResult decode(JpegSession& session, bool readPixels, const std::string& path,
                    detail::FrameAdmission* admission) {
    jpeg_decompress_struct& cinfo = session.decompressor;
    if (setjmp(session.errors.recovery) != 0) return DecodeResult::LibraryError;

    jpeg_CreateDecompress(&cinfo, kJpegInterfaceVersion, sizeof(jpeg_decompress_struct));
    cinfo.mem->max_memory_to_use = kJpegWorkingMemory;
    jpeg_stdio_src(&cinfo, session.file);
    jpeg_read_header(&cinfo, TRUE);

    // Every frame leaves the codec as 3 bytes per pixel: gray files are
    // expanded by the library, colour spaces without an RGB form refused.
    if (!convertibleToRgb(cinfo.jpeg_color_space)) return DecodeResult::UnsupportedColour;
    cinfo.out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(&cinfo);
    if (!frameFitsLimit(cinfo.output_width, cinfo.output_height)) return DecodeResult::TooLarge;
    // Admitted before the decoder starts: a file of several scans is read
    // whole by jpeg_start_decompress, into coefficients held beside the frame.
    if (readPixels && admission != nullptr &&
        !admission->admit(
            frameBytes(cinfo.output_width, cinfo.output_height) + coefficientBytes(cinfo), path,
            &session.refusal))
        return DecodeResult::Refused;

    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) return DecodeResult::UnsupportedColour;
    if (!readPixels) return DecodeResult::Ok;

    const std::size_t rowBytes = static_cast<std::size_t>(cinfo.output_width) * 3u;
    session.image = new (std::nothrow) unsigned char[static_cast<std::size_t>(
        frameBytes(cinfo.output_width, cinfo.output_height))];
    if (session.image == nullptr) return DecodeResult::OutOfMemory;

    // Output rows are exactly width x 3 bytes, the frame's own stride, so the
    // library decodes each row straight into its place in the frame.
    while (cinfo.output_scanline < cinfo.output_height) {
        const std::size_t offset = static_cast<std::size_t>(cinfo.output_scanline) * rowBytes;
        JSAMPROW rows[1] = {session.image + offset};
        // A stdio source never suspends, so every call delivers one row.
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) {
            std::snprintf(jpegLastErrorMsg, kJpegMessageLength, "No image data after row %u",
                          cinfo.output_scanline);
            return DecodeResult::LibraryError;
        }
    }
    jpeg_finish_decompress(&cinfo);
    return DecodeResult::Ok;
}

// ---- Messages -------------------------------------------------------------

std::string openFailedMessage(const std::string& path, int errorNumber) {
    return "The system was unable to open '" + path +
           "'\n\nError Message: " + systemErrorText(errorNumber);
}

std::string libraryErrorMessage(const std::string& path) {
    return "An error has occurred while opening your JPEG file named below.\n\n" + path +
           "\n\nPlease check that your JPEG files are valid and that there is no corruption. You "
           "can also note the filename and remove it from your active list before trying "
           "again.\n\nError: " +
           std::string(jpegLastErrorMsg);
}

std::string refusalMessage(const std::string& path, const std::string& reason) {
    return "An error has occurred while opening your JPEG file named below.\n\n" + path + "\n\n" +
           reason;
}

std::string unsupportedColourMessage(const std::string& path) {
    return refusalMessage(path,
                          "This JPEG uses a colour space that Tellvar cannot convert to RGB (for "
                          "example CMYK). Tellvar reads colour and grayscale JPEG files only.\n\n"
                          "Please convert the image to RGB or note the filename and remove it "
                          "from your active list before trying again.");
}

std::string outOfMemoryMessage(const std::string& path) {
    return refusalMessage(path, kFrameMemoryReason);
}

// Words the failure of a decode; the caller has already released everything.
std::string failureMessage(DecodeResult result, const std::string& path,
                           const JpegSession& session) {
    const jpeg_decompress_struct& cinfo = session.decompressor;
    switch (result) {
        case DecodeResult::Refused: return session.refusal;
        case DecodeResult::UnsupportedColour: return unsupportedColourMessage(path);
        case DecodeResult::TooLarge:
            return frameTooLargeMessage(path, cinfo.output_width, cinfo.output_height);
        case DecodeResult::OutOfMemory: return outOfMemoryMessage(path);
        case DecodeResult::LibraryError:
        case DecodeResult::Ok: break;
    }
    return libraryErrorMessage(path);
}

// Opens the input; null with the failure in *errorText.
std::FILE* openInput(const std::string& path, std::string* errorText) {
    return openInputStream(path, openFailedMessage, errorText);
}

// Opens path, decodes it (with readPixels its pixels too) and hands the
// session to done; false, with the message in *errorText, when either
// fails. The session releases everything when decodeFile returns.
template <class Done>
bool decodeFile(const std::string& path, bool readPixels, detail::FrameAdmission* admission,
                std::string* errorText, Done done) {
    std::FILE* input = openInput(path, errorText);
    if (input == nullptr) return false;
    JpegSession session(input, readPixels);
    const DecodeResult result = decode(session, readPixels, path, admission);
    if (result != DecodeResult::Ok) {
        *errorText = failureMessage(result, path, session);
        return false;
    }
    done(session);
    return true;
}

}  // namespace

void jpegErrorExit(jpeg_common_struct* cinfo) {
    (*cinfo->err->format_message)(cinfo, jpegLastErrorMsg);
    JpegErrorManager* errors = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(errors->recovery, 1);
}

JPEG::JPEG() {}

JPEG::~JPEG() {}

bool JPEG::openImage(unsigned char** buffer, std::string path, int* width, int* height, int* depth,
                     std::string* errorText) {
    return detail::openAdmitted(*this, path, buffer, width, height, depth, errorText, nullptr);
}

bool JPEG::saveImage(unsigned char* buffer, int width, int height, int depth, std::string path,
                     std::string* errorText) {
    return saveTIFF(buffer, width, height, depth, path, errorText);
}

// The size check holds what it reads to the same rule as openImage: the
// headers and, for a file of several scans (progressive), all of its data,
// which the library reads to start decompressing. The data of a sequential
// file is not read here, so damage to it shows when a run reads the frame.
bool JPEG::sizeChecker(int* width, int* height, std::string path, std::string* errorText) {
    return decodeFile(path, false, nullptr, errorText, [&](const JpegSession& session) {
        *width = static_cast<int>(session.decompressor.output_width);
        *height = static_cast<int>(session.decompressor.output_height);
    });
}

namespace detail {

bool openAdmitted(JPEG& /*codec*/, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission) {
    return decodeFile(path, true, admission, errorText, [&](JpegSession& session) {
        *buffer = session.image;
        session.image = nullptr;
        *width = static_cast<int>(session.decompressor.output_width);
        *height = static_cast<int>(session.decompressor.output_height);
        *depth = session.decompressor.num_components;
    });
}

}  // namespace detail

}  // namespace Tellvar
