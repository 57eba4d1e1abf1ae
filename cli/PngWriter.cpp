#include "cli/PngWriter.h"

#include <png.h>

#include <csetjmp>

#include "io/Fail.h"

namespace {

struct SPngSink {
    std::vector<uint8_t>* pOut;
    std::string strError;
};

extern "C" void PngWrite(png_structp png, png_bytep pData, png_size_t nLength) {
    auto* sink = static_cast<SPngSink*>(png_get_io_ptr(png));
    sink->pOut->insert(sink->pOut->end(), pData, pData + nLength);
}

extern "C" void PngFlush(png_structp) {}

extern "C" void PngError(png_structp png, png_const_charp szMessage) {
    auto* sink = static_cast<SPngSink*>(png_get_error_ptr(png));
    sink->strError = szMessage ? szMessage : "unknown libpng error";
    png_longjmp(png, 1);
}

extern "C" void PngWarning(png_structp, png_const_charp) {}

// The libpng part alone: nothing here lives across the setjmp but plain values.
bool WritePng(png_structp png, png_infop info, SPngSink& sink, uint32_t nWidth, uint32_t nHeight,
              int nColourType, png_bytepp ppRows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    png_set_IHDR(png, info, nWidth, nHeight, 8, nColourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, ppRows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool EncodePng(uint32_t nWidth, uint32_t nHeight, uint32_t nChannels, const uint8_t* pPixels,
               std::vector<uint8_t>& out, std::string* pError) {
    out.clear();
    SPngSink sink{&out, {}};
    std::vector<png_bytep> rows(nHeight);
    for (uint32_t y = 0; y < nHeight; ++y) {
        rows[y] = const_cast<png_bytep>(pPixels + static_cast<size_t>(y) * nWidth * nChannels);
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool bOk =
        info && WritePng(png, info, sink, nWidth, nHeight,
                         nChannels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, rows.data());
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!bOk) {
        out.clear();
        return Fail(pError, png ? "PNG encoding failed: " + sink.strError
                                : std::string("cannot start the PNG encoder"));
    }
    return true;
}

std::vector<uint8_t> EncodePnm(uint32_t nWidth, uint32_t nHeight, uint32_t nChannels,
                               const uint8_t* pPixels) {
    const std::string strHeader = std::string(nChannels == 1 ? "P5" : "P6") + "\n" +
                                  std::to_string(nWidth) + " " + std::to_string(nHeight) +
                                  "\n255\n";
    std::vector<uint8_t> out(strHeader.begin(), strHeader.end());
    out.insert(out.end(), pPixels, pPixels + size_t(nWidth) * nHeight * nChannels);
    return out;
}
