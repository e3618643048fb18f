#include "fixtures.hpp"

#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <fstream>
#include <map>

#include "preview/preview.hpp"

namespace orv::test {

Picture grid(Size size, uint32_t columns, std::span<const Rgb> colours) {
    Picture p = preview::make_picture(size);
    const size_t rows = colours.size() / columns;
    for (uint32_t y = 0; y < size.height; ++y) {
        for (uint32_t x = 0; x < size.width; ++x) {
            const Rgb c = colours[y * rows / size.height * columns + x * columns / size.width];
            uint8_t* px = &p.rgb[(size_t{y} * size.width + x) * 3];
            px[0] = uint8_t(c.r), px[1] = uint8_t(c.g), px[2] = uint8_t(c.b);
        }
    }
    return p;
}

Picture quadrants(Size size, Rgb tl, Rgb tr, Rgb bl, Rgb br) {
    const Rgb colours[] = {tl, tr, bl, br};
    return grid(size, 2, colours);
}

Rgb pixel_at(const Picture& p, uint32_t x, uint32_t y) {
    const uint8_t* px = &p.rgb[(size_t{y} * p.size.width + x) * 3];
    return {px[0], px[1], px[2]};
}

std::vector<Rgb> quadrant_colours(const Picture& p) {
    const uint32_t l = p.size.width / 4, r = p.size.width * 3 / 4, t = p.size.height / 4, b = p.size.height * 3 / 4;
    return {pixel_at(p, l, t), pixel_at(p, r, t), pixel_at(p, l, b), pixel_at(p, r, b)};
}

int quadrant_error(const Picture& p, const std::vector<Rgb>& want) {
    int worst = 0;
    for (size_t q = 0; q < 4; ++q) worst = std::max(worst, distance(quadrant_colours(p)[q], want.at(q)));
    return worst;
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
bool write_png(png_structp png, png_infop info, std::string* out, Size size, int depth, int colour_type,
               bool interlaced, const std::vector<png_color>* palette, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, append_png, nullptr);
    // Trying every filter on a large flat picture would take most of the time.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, info, size.width, size.height, depth, colour_type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    if (!palette->empty()) png_set_PLTE(png, info, palette->data(), int(palette->size()));
    png_set_rows(png, info, rows);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);  // each interlace pass reads every row
    return true;
}

std::string png_bytes(Size size, int depth, int colour_type, bool interlaced, const std::vector<png_color>& palette,
                      std::vector<png_bytep> rows) {
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!write_png(png, info, &bytes, size, depth, colour_type, interlaced, &palette, rows.data())) bytes.clear();
    png_destroy_write_struct(&png, &info);
    return bytes;
}

}  // namespace

std::string make_png(const Picture& p, PngOptions o) {
    std::vector<png_color> palette;
    std::map<std::tuple<int, int, int>, int> index;
    std::vector<std::vector<uint8_t>> rows(p.size.height);
    std::vector<png_bytep> pointers;
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
        pointers.push_back(rows[y].data());
    }
    const int type = (o.palette ? PNG_COLOR_TYPE_PALETTE : o.grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB) |
                     (o.alpha ? PNG_COLOR_MASK_ALPHA : 0);
    return png_bytes(p.size, o.depth, type, o.interlaced, palette, std::move(pointers));
}

std::string make_flat_png(Size size, Rgb c, bool interlaced) {
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < size.width; ++x) row.insert(row.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
    return png_bytes(size, 8, PNG_COLOR_TYPE_RGB, interlaced, {}, std::vector<png_bytep>(size.height, row.data()));
}

std::string make_tiff(const Picture& p, TiffOptions o) {
    const uint16_t spp = o.alpha ? 4 : 3;
    uint32_t y = 0;  // over both pages
    const TiffLayout layout{
        .samples = spp, .extra = EXTRASAMPLE_UNASSALPHA, .rows_per_strip = 16, .orientation = o.orientation};
    return make_layout_tiff(p.size, layout, [&](std::span<uint8_t> bytes, uint16_t) {
        for (uint32_t x = 0; x < p.size.width; ++x) {
            const Rgb c = y < p.size.height ? pixel_at(p, x, y) : kBlue;
            const uint8_t s[] = {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 0};
            std::memcpy(&bytes[x * spp], s, spp);
        }
        ++y;
    }, o.second_page ? 2 : 1);
}

std::string make_layout_tiff(Size size, const TiffLayout& o, const TiffFill& fill, int pages) {
    TempDir tmp;
    const std::string path = (tmp / "t.tif").string();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    for (int page = 0; page < pages; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, size.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, size.height);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, o.samples);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, o.depth);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, o.photometric);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, o.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, o.orientation);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, o.compression);
        if (o.compression == COMPRESSION_ADOBE_DEFLATE) TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
        if (o.predictor != PREDICTOR_NONE) TIFFSetField(tif, TIFFTAG_PREDICTOR, o.predictor);
        if (o.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, o.subsampling, o.subsampling);
        const uint16_t colours = o.photometric == PHOTOMETRIC_RGB || o.photometric == PHOTOMETRIC_YCBCR ? 3
                                 : o.photometric == PHOTOMETRIC_SEPARATED                             ? 4
                                                                                                      : 1;
        if (o.samples > colours) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &o.extra);
        if (o.photometric == PHOTOMETRIC_PALETTE) {
            // Red, green and blue read from one table at offsets 0, 1 and 2,
            // its levels scattered over 0..65535.
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
    }
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

namespace {
// Where the first directory's entry for `tag` starts; 0 without one.
size_t tiff_entry_at(const std::string& t, uint16_t tag) {
    uint32_t ifd = 0;
    uint16_t count = 0, this_tag = 0;
    std::memcpy(&ifd, &t[4], 4), std::memcpy(&count, &t[ifd], 2);
    for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(&this_tag, &t[ifd + 2 + 12 * i], 2);
        if (this_tag == tag) return ifd + 2 + 12 * i;
    }
    return 0;
}
}  // namespace

uint32_t tiff_entry(const std::string& t, uint16_t tag) {
    const size_t at = tiff_entry_at(t, tag);
    uint16_t type = 0;
    uint32_t value = 0;
    if (at) std::memcpy(&type, &t[at + 2], 2), std::memcpy(&value, &t[at + 8], type == TIFF_SHORT ? 2 : 4);
    return value;
}

std::string with_tiff_entry(std::string t, uint16_t tag, uint32_t value) {
    const size_t at = tiff_entry_at(t, tag);
    const uint16_t type = TIFF_LONG;
    const uint32_t count = 1;
    if (at) std::memcpy(&t[at + 2], &type, 2), std::memcpy(&t[at + 4], &count, 4), std::memcpy(&t[at + 8], &value, 4);
    return t;
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
    return jpeg ? decode_jpeg(*jpeg) : std::nullopt;
}

std::optional<Picture> thumbnail_of(const fs::path& path, uint32_t size) {
    const auto jpeg = thumbnail_jpeg(path.string(), size);
    return jpeg ? decode_jpeg(*jpeg) : std::nullopt;
}

std::optional<long> peak_growth_mib(const std::function<void()>& f) {
    const auto status = [](const std::string& key) {
        std::ifstream in("/proc/self/status");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
        }
        return -1L;
    };
    const bool reset = bool(std::ofstream("/proc/self/clear_refs") << "5" << std::flush);
    const long before = status("VmRSS:");
    f();
    return reset ? std::optional((status("VmHWM:") - before) / 1024) : std::nullopt;
}

void run_ok(const std::string& program, const std::vector<std::string>& args) {
    const auto r = run_program(program, args);
    ASSERT_TRUE(r && r->success()) << program << " " << args.back() << ": " << (r ? r->err : "did not run");
}

}  // namespace orv::test
