#pragma once
// Owner of a TIFF library handle, so that every exit of a codec operation
// closes the file it opened.

#include <tiffio.h>

namespace Tellvar {

// A TIFF handle, closed when the owner goes out of scope.
class TiffHandle {
public:
    explicit TiffHandle(TIFF* tiff) : tiff_(tiff) {}
    ~TiffHandle() {
        if (tiff_ != nullptr) TIFFClose(tiff_);
    }
    TiffHandle(const TiffHandle&) = delete;
    TiffHandle& operator=(const TiffHandle&) = delete;
    TiffHandle(TiffHandle&& other) noexcept : tiff_(other.tiff_) { other.tiff_ = nullptr; }
    TiffHandle& operator=(TiffHandle&&) = delete;

    // Closes the file now.
    void reset() {
        if (tiff_ != nullptr) TIFFClose(tiff_);
        tiff_ = nullptr;
    }

    TIFF* get() const { return tiff_; }
    explicit operator bool() const { return tiff_ != nullptr; }

private:
    TIFF* tiff_;
};

}  // namespace Tellvar
