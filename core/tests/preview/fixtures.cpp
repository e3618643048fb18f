#include "fixtures.hpp"

#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <csetjmp>
#include <map>

#include "preview/preview.hpp"

namespace orv::test {

Picture quadrants(Size size, Rgb tl, Rgb tr, Rgb bl, Rgb br) {
    Picture p = preview::make_picture(size);
    for (uint32_t y = 0; y < size.height; ++y) {
        for (uint32_t x = 0; x < size.width; ++x) {
            const Rgb c = y >= size.height / 2 ? (x >= size.width / 2 ? br : bl) : (x >= size.width / 2 ? tr : tl);
            uint8_t* px = &p.rgb[(size_t{y} * size.width + x) * 3];
            px[0] = uint8_t(c.r), px[1] = uint8_t(c.g), px[2] = uint8_t(c.b);
        }
    }
    return p;
}

Rgb pixel_at(const Picture& p, uint32_t x, uint32_t y) {
    const uint8_t* px = &p.rgb[(size_t{y} * p.size.width + x) * 3];
    return {px[0], px[1], px[2]};
}

std::vector<Rgb> quadrant_colours(const Picture& p) {
    const uint32_t l = p.size.width / 4, r = p.size.width * 3 / 4, t = p.size.height / 4, b = p.size.height * 3 / 4;
    return {pixel_at(p, l, t), pixel_at(p, r, t), pixel_at(p, l, b), pixel_at(p, r, b)};
}

int distance(Rgb a, Rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

int luma(Rgb c) {
    return (c.r * 299 + c.g * 587 + c.b * 114) / 1000;
}

std::string make_jpeg(const Picture& p, JpegOptions o) {
    // Inverted CMYK: full red is C=255 M=0 Y=0 K=255.
    std::vector<uint8_t> cmyk;
    for (size_t i = 0; o.cmyk && i < p.byte_count(); i += 3) cmyk.insert(cmyk.end(), {p.rgb[i], p.rgb[i + 1], p.rgb[i + 2], 255});
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, o.cmyk ? cmyk.data() : p.rgb.get(), int(p.size.width), 0, int(p.size.height),
                o.cmyk ? TJPF_CMYK : TJPF_RGB, &out, &size, o.grey ? TJSAMP_GRAY : o.subsampling, 90,
                o.progressive ? TJFLAG_PROGRESSIVE : 0);
    std::string bytes(reinterpret_cast<char*>(out), size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

namespace {

void append_png(png_structp png, png_bytep data, size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), n);
}

// libpng reports errors by jumping back here; nothing in this frame needs
// destroying.
void write_png(png_structp png, png_infop info, std::string* out, Size size, int depth, int colour_type,
               bool interlaced, std::vector<png_color>* palette, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return;
    png_set_write_fn(png, out, append_png, nullptr);
    png_set_IHDR(png, info, size.width, size.height, depth, colour_type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    if (!palette->empty()) png_set_PLTE(png, info, palette->data(), int(palette->size()));
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
}

}  // namespace

std::string make_png(const Picture& p, PngOptions o) {
    std::vector<png_color> palette;
    std::map<std::tuple<int, int, int>, int> index;
    std::vector<std::vector<uint8_t>> rows(p.size.height);
    for (uint32_t y = 0; y < p.size.height; ++y) {
        for (uint32_t x = 0; x < p.size.width; ++x) {
            const Rgb c = pixel_at(p, x, y);
            std::vector<int> samples = {c.r, c.g, c.b};
            if (o.grey) samples = {luma(c)};
            if (o.palette) {
                const auto [it, added] = index.try_emplace({c.r, c.g, c.b}, int(palette.size()));
                if (added) palette.push_back({uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
                samples = {it->second};
            }
            if (o.alpha) samples.push_back(0);
            for (int s : samples) rows[y].insert(rows[y].end(), o.depth == 16 ? 2 : 1, uint8_t(s));  // v * 257
        }
    }
    const int type = (o.palette ? PNG_COLOR_TYPE_PALETTE : o.grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB) |
                     (o.alpha ? PNG_COLOR_MASK_ALPHA : 0);
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    write_png(png, info, &bytes, p.size, o.depth, type, o.interlaced, &palette, pointers.data());
    png_destroy_write_struct(&png, &info);
    return bytes;
}

std::string make_tiff(const Picture& p, TiffOptions o) {
    TempDir tmp;
    const std::string path = (tmp / "t.tif").string();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    const uint32_t w = p.size.width, h = p.size.height, tile = 16;
    const Picture blue = solid(p.size, kBlue);
    std::vector<const Picture*> pages = {&p};
    if (o.second_page) pages.push_back(&blue);
    for (const Picture* page : pages) {
        const uint16_t spp = (o.grey ? 1 : 3) + (o.alpha ? 1 : 0), unassociated = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, o.depth);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, o.grey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, o.orientation);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        if (o.alpha) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &unassociated);
        // Samples of `count` pixels from (x0, y); outside the picture black.
        const auto samples = [&](uint32_t x0, uint32_t y, uint32_t count) {
            std::vector<uint8_t> out;
            for (uint32_t x = x0; x < x0 + count; ++x) {
                const Rgb c = x < w && y < h ? pixel_at(*page, x, y) : Rgb{};
                std::vector<int> s = o.grey ? std::vector<int>{luma(c)} : std::vector<int>{c.r, c.g, c.b};
                if (o.alpha) s.push_back(0);
                for (int v : s) out.insert(out.end(), o.depth / 8, uint8_t(v));
            }
            return out;
        };
        if (o.tiled) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
            TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
            for (uint32_t ty = 0; ty < h; ty += tile) {
                for (uint32_t tx = 0; tx < w; tx += tile) {
                    std::vector<uint8_t> buf;
                    for (uint32_t r = 0; r < tile; ++r) {
                        const auto row = samples(tx, ty + r, tile);
                        buf.insert(buf.end(), row.begin(), row.end());
                    }
                    TIFFWriteTile(tif, buf.data(), tx, ty, 0, 0);
                }
            }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, o.rows_per_strip);
            for (uint32_t y = 0; y < h; ++y) TIFFWriteScanline(tif, samples(0, y, w).data(), y, 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return read_file(path);
}

namespace {

bool write_flat_png(png_structp png, png_infop info, std::string* out, Size size, bool interlaced,
                    const std::vector<uint8_t>* row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, append_png, nullptr);
    // Flat rows need no filter; trying each one would take most of the time.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, info, size.width, size.height, 8, PNG_COLOR_TYPE_RGB,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    png_write_info(png, info);
    // Each pass is given every row; libpng takes the pixels it needs.
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < size.height; ++y) png_write_row(png, row->data());
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

std::string make_flat_png(Size size, Rgb c, bool interlaced) {
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < size.width; ++x) row.insert(row.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!write_flat_png(png, info, &bytes, size, interlaced, &row)) bytes.clear();
    png_destroy_write_struct(&png, &info);
    return bytes;
}

std::string make_layout_tiff(Size size, const TiffLayout& o, const TiffFill& fill) {
    TempDir tmp;
    const std::string path = (tmp / "t.tif").string();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, size.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, size.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, o.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, o.depth);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, o.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, o.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, o.compression);
    if (o.compression == COMPRESSION_ADOBE_DEFLATE) TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
    if (o.predictor != PREDICTOR_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, o.predictor);
    if (o.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    const uint16_t colours = o.photometric == PHOTOMETRIC_RGB || o.photometric == PHOTOMETRIC_YCBCR ? 3
                             : o.photometric == PHOTOMETRIC_SEPARATED                             ? 4
                                                                                                  : 1;
    const uint16_t associated = EXTRASAMPLE_ASSOCALPHA;
    if (o.samples > colours) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &associated);
    if (o.photometric == PHOTOMETRIC_PALETTE) {
        // Red, green and blue read from one table at offsets 0, 1 and 2, its
        // levels scattered over 0..65535.
        std::vector<uint16_t> map((size_t{1} << o.depth) + 2);
        for (size_t i = 0; i < map.size(); ++i) map[i] = uint16_t(i * 40503u);
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + 1, map.data() + 2);
    }
    const uint16_t planes = o.separate ? o.samples : 1;
    if (o.tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, o.tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, o.tile);
        std::vector<uint8_t> buf(size_t(TIFFTileSize(tif)));
        const uint32_t per_plane = TIFFNumberOfTiles(tif) / planes;
        for (uint32_t t = 0; t < per_plane * planes; ++t) {
            fill(buf, uint16_t(t / per_plane));
            TIFFWriteEncodedTile(tif, t, buf.data(), tmsize_t(buf.size()));
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, o.rows_per_strip ? o.rows_per_strip : size.height);
        std::vector<uint8_t> row(size_t(TIFFScanlineSize(tif)));
        for (uint16_t plane = 0; plane < planes; ++plane) {
            for (uint32_t y = 0; y < size.height; ++y) {
                fill(row, plane);
                TIFFWriteScanline(tif, row.data(), y, plane);
            }
        }
    }
    TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return read_file(path);
}

std::string make_noise_tiff(Size size, const TiffLayout& layout) {
    uint32_t state = 12345;
    return make_layout_tiff(size, layout, [&](std::span<uint8_t> bytes, uint16_t) {
        for (uint8_t& b : bytes) {
            state = state * 1664525u + 1013904223u;
            b = uint8_t(state >> 24);
        }
    });
}

std::optional<Picture> whole_picture_reference(const std::string& tiff) {
    TempDir tmp;
    write_file(tmp / "t.tif", tiff);
    TIFF* tif = TIFFOpen((tmp / "t.tif").c_str(), "r");
    if (!tif) return std::nullopt;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(size_t{w} * h);
    const bool read = TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 1);
    TIFFClose(tif);
    if (!read) return std::nullopt;
    Picture p = preview::make_picture({w, h});
    for (size_t i = 0; i < raster.size(); ++i) {
        p.rgb[i * 3] = uint8_t(TIFFGetR(raster[i]));
        p.rgb[i * 3 + 1] = uint8_t(TIFFGetG(raster[i]));
        p.rgb[i * 3 + 2] = uint8_t(TIFFGetB(raster[i]));
    }
    return p;
}

std::optional<Picture> decode_jpeg(const std::string& bytes) {
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, sub = 0, cs = 0;
    std::optional<Picture> out;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (tjDecompressHeader3(tj, data, bytes.size(), &w, &h, &sub, &cs) == 0) {
        Picture p = preview::make_picture({uint32_t(w), uint32_t(h)});
        if (tjDecompress2(tj, data, bytes.size(), p.rgb.get(), w, 0, h, TJPF_RGB, 0) == 0) out = std::move(p);
    }
    tjDestroy(tj);
    return out;
}

std::optional<Picture> preview_of(const fs::path& path, int64_t orientation) {
    const auto jpeg = preview_jpeg(path.string(), orientation);
    if (!jpeg) return std::nullopt;
    return decode_jpeg(std::string(jpeg->begin(), jpeg->end()));
}

}  // namespace orv::test
