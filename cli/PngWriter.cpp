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

}  // namespace

bool EncodePngRgb(uint32_t nWidth, uint32_t nHeight, const uint8_t* pRgb, std::vector<uint8_t>& out,
                  std::string* pError) {
    out.clear();
    SPngSink sink{&out, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, PngError, PngWarning);
    if (!png) {
        return Fail(pError, "cannot start the PNG encoder");
    }
    png_infop info = png_create_info_struct(png);
    // Everything libpng may jump over is set up before setjmp.
    std::vector<png_bytep> rows(nHeight);
    for (uint32_t y = 0; y < nHeight; ++y) {
        rows[y] = const_cast<png_bytep>(pRgb + static_cast<size_t>(y) * nWidth * 3);
    }
    if (!info || setjmp(png_jmpbuf(png))) {
        if (pError) {
            *pError = "PNG encoding failed: " + sink.strError;
        }
        png_destroy_write_struct(&png, info ? &info : nullptr);
        out.clear();
        return false;
    }
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    png_set_IHDR(png, info, nWidth, nHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
