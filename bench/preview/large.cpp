// Writes the large-but-allowed pictures of the preview memory benchmark: files
// of a few hundred kilobytes to a few megabytes (deflate compresses at most
// about a thousand to one) that stay under the pixel limit yet declare
// hundreds of megabytes of pixels, laid out the way that once made the
// decoders hold all of them at once.
//
//   orvql-bench-large tiff-one-strip OUT.tif    14142 x 14142 RGB, one deflate strip
//   orvql-bench-large tiff-wide-rgba16 OUT.tif  1000000 x 200 RGBA, 16 bits a sample
//   orvql-bench-large png-interlaced OUT.png    14000 x 14000 RGB, interlaced
//
// The content is four flat quadrants, so that the files compress to almost
// nothing and the preview still shows where each part of the picture went.
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint16_t kQuadrants[4][3] = {{220, 30, 30}, {30, 200, 40}, {30, 40, 220}, {240, 240, 240}};

// One row of the picture, `channels` samples a pixel of `bytes` bytes each
// (a 16-bit sample is the 8-bit one times 257); a fourth channel is opaque.
std::vector<uint8_t> quadrant_row(uint32_t width, uint32_t height, uint32_t y, int channels, int bytes) {
    std::vector<uint8_t> row(size_t{width} * channels * bytes);
    uint8_t* out = row.data();
    for (uint32_t x = 0; x < width; ++x) {
        const uint16_t* c = kQuadrants[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
        for (int ch = 0; ch < channels; ++ch) {
            const uint16_t v = ch < 3 ? c[ch] : 255;
            if (bytes == 2) {
                const uint16_t wide = static_cast<uint16_t>(v * 257);
                std::memcpy(out, &wide, 2);
            } else {
                *out = static_cast<uint8_t>(v);
            }
            out += bytes;
        }
    }
    return row;
}

bool write_tiff(const char* path, uint32_t width, uint32_t height, int channels, int depth, uint32_t rows_per_strip) {
    TIFF* tif = TIFFOpen(path, "w");
    if (!tif) return false;
    const uint16_t unassociated = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, depth);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 9);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
    if (channels == 4) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &unassociated);
    bool ok = true;
    std::vector<uint8_t> row;
    for (uint32_t y = 0; ok && y < height; ++y) {
        // Rows repeat within a quadrant; only the two distinct ones are made.
        if (y == 0 || y == height / 2) row = quadrant_row(width, height, y, channels, depth / 8);
        ok = TIFFWriteScanline(tif, row.data(), y, 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return ok;
}

// libpng reports errors by jumping back here; nothing in this frame needs
// destroying.
bool write_png_rows(png_structp png, png_infop info, FILE* file, uint32_t width, uint32_t height,
                    const std::vector<uint8_t>* top, const std::vector<uint8_t>* bottom) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    // Every pass is given every row; libpng picks the pixels of each pass.
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y) png_write_row(png, (y < height / 2 ? top : bottom)->data());
    }
    png_write_end(png, info);
    return true;
}

bool write_png(const char* path, uint32_t width, uint32_t height) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const auto top = quadrant_row(width, height, 0, 3, 1), bottom = quadrant_row(width, height, height - 1, 3, 1);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && write_png_rows(png, info, file, width, height, &top, &bottom);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s tiff-one-strip|tiff-wide-rgba16|png-interlaced OUT\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    bool ok = false;
    if (kind == "tiff-one-strip") {
        ok = write_tiff(argv[2], 14142, 14142, 3, 8, 14142);
    } else if (kind == "tiff-wide-rgba16") {
        // Two strips of 100 rows, 800 MB each once decoded.
        ok = write_tiff(argv[2], 1'000'000, 200, 4, 16, 100);
    } else if (kind == "png-interlaced") {
        ok = write_png(argv[2], 14000, 14000);
    } else {
        std::fprintf(stderr, "%s: unknown kind %s\n", argv[0], argv[1]);
        return 2;
    }
    if (!ok) std::fprintf(stderr, "%s: could not write %s\n", argv[0], argv[2]);
    return ok ? 0 : 1;
}
