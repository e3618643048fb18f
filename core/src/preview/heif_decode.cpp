#include "heif_decode.hpp"

#include <lcms2.h>
#include <libheif/heif.h>

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "colour.hpp"
#include "resample.hpp"

namespace orv::preview {

namespace {

struct HeifFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
    void operator()(heif_image* i) const { heif_image_release(i); }
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
template <typename T>
using HeifPtr = std::unique_ptr<T, HeifFree>;

// Larger meta boxes (a few kilobytes in practice, item lists and
// properties only) are not read.
constexpr uint64_t kMetaLimit = uint64_t{16} << 20;

// --- The container's boxes, read just far enough to see the primary
// picture's transforms (libheif 1.15 applies them but does not tell).

struct Box {
    std::string_view type;
    std::span<const uint8_t> body;
};

uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// The boxes in `bytes`, in order; a box whose size runs past the end ends
// the list.
std::vector<Box> boxes(std::span<const uint8_t> bytes) {
    std::vector<Box> out;
    size_t at = 0;
    while (bytes.size() - at >= 8) {
        uint64_t size = be32(&bytes[at]);
        size_t header = 8;
        if (size == 1) {
            if (bytes.size() - at < 16) break;
            size = uint64_t{be32(&bytes[at + 8])} << 32 | be32(&bytes[at + 12]);
            header = 16;
        } else if (size == 0) {
            size = bytes.size() - at;
        }
        if (size < header || size > bytes.size() - at) break;
        out.push_back({{reinterpret_cast<const char*>(&bytes[at + 4]), 4}, bytes.subspan(at + header, size - header)});
        at += size;
    }
    return out;
}

std::optional<Box> child(std::span<const uint8_t> bytes, std::string_view type) {
    for (const Box& b : boxes(bytes)) {
        if (b.type == type) return b;
    }
    return std::nullopt;
}

// The property indices (1-based, into ipco) associated with `item`.
std::vector<uint32_t> properties_of(std::span<const uint8_t> ipma, uint32_t item) {
    std::vector<uint32_t> out;
    if (ipma.size() < 8) return out;
    const uint8_t version = ipma[0];
    const bool wide_index = ipma[3] & 1;
    const uint32_t entries = be32(&ipma[4]);
    size_t at = 8;
    for (uint32_t e = 0; e < entries; ++e) {
        const size_t id_bytes = version < 1 ? 2 : 4;
        if (ipma.size() - at < id_bytes + 1) break;
        const uint32_t id = id_bytes == 2 ? uint32_t{ipma[at]} << 8 | ipma[at + 1] : be32(&ipma[at]);
        at += id_bytes;
        const uint8_t count = ipma[at++];
        const size_t index_bytes = wide_index ? 2 : 1;
        if (ipma.size() - at < size_t{count} * index_bytes) break;
        for (uint8_t a = 0; a < count; ++a, at += index_bytes) {
            const uint32_t index = wide_index ? (uint32_t{ipma[at]} << 8 | ipma[at + 1]) & 0x7FFF : ipma[at] & 0x7Fu;
            if (id == item) out.push_back(index);
        }
    }
    return out;
}

// --- Colour.

// An ICC profile for nclx primaries and transfer; empty for sRGB itself,
// for values that say nothing, and for HDR transfers, whose base picture
// is shown as decoded.
std::vector<uint8_t> icc_from_nclx(const heif_color_profile_nclx& n) {
    const bool srgb_primaries = n.color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                                n.color_primaries == heif_color_primaries_unspecified;
    cmsToneCurve* curve = nullptr;
    switch (n.transfer_characteristics) {
        case heif_transfer_characteristic_IEC_61966_2_1:
        case heif_transfer_characteristic_unspecified: {
            if (srgb_primaries) return {};
            const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
            curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
            break;
        }
        case heif_transfer_characteristic_ITU_R_BT_709_5:
        case heif_transfer_characteristic_ITU_R_BT_601_6:
        case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
        case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit: {
            const double bt709[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
            curve = cmsBuildParametricToneCurve(nullptr, 4, bt709);
            break;
        }
        case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
            curve = cmsBuildGamma(nullptr, 2.2);
            break;
        case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
            curve = cmsBuildGamma(nullptr, 2.8);
            break;
        case heif_transfer_characteristic_linear:
            curve = cmsBuildGamma(nullptr, 1.0);
            break;
        default:
            colour_note("HEIF: nclx transfer not converted");
            return {};
    }
    if (!curve) return {};
    const cmsCIExyY white{n.color_primary_white_x, n.color_primary_white_y, 1.0};
    const cmsCIExyYTRIPLE primaries{{n.color_primary_red_x, n.color_primary_red_y, 1.0},
                                    {n.color_primary_green_x, n.color_primary_green_y, 1.0},
                                    {n.color_primary_blue_x, n.color_primary_blue_y, 1.0}};
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    std::vector<uint8_t> icc;
    cmsUInt32Number length = 0;
    if (profile && cmsSaveProfileToMem(profile, nullptr, &length) && length > 0) {
        icc.resize(length);
        if (!cmsSaveProfileToMem(profile, icc.data(), &length)) icc.clear();
    }
    if (profile) cmsCloseProfile(profile);
    return icc;
}

// The primary picture's colours: its ICC profile when it has one, else one
// made from its nclx values.
ColourSource colour_of(const heif_image_handle* handle) {
    ColourSource source;
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        source.icc.resize(heif_image_handle_get_raw_color_profile_size(handle));
        if (source.icc.empty() || heif_image_handle_get_raw_color_profile(handle, source.icc.data()).code) {
            source.icc.clear();
        }
        return source;
    }
    heif_color_profile_nclx* raw = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &raw).code == heif_error_Ok && raw) {
        const HeifPtr<heif_color_profile_nclx> nclx(raw);
        source.icc = icc_from_nclx(*nclx);
    }
    return source;
}

// Whether the meta box (with its header) associates irot or imir with the
// primary item.
bool primary_turned(std::span<const uint8_t> bytes) {
    const auto meta = child(bytes, "meta");
    if (!meta || meta->body.size() < 4) return false;
    const auto inner = meta->body.subspan(4);  // after version and flags
    const auto pitm = child(inner, "pitm");
    const auto iprp = child(inner, "iprp");
    if (!pitm || !iprp || pitm->body.size() < 6) return false;
    const uint32_t primary =
        pitm->body[0] == 0 ? uint32_t{pitm->body[4]} << 8 | pitm->body[5]
                           : (pitm->body.size() >= 8 ? be32(&pitm->body[4]) : 0);
    const auto ipco = child(iprp->body, "ipco");
    if (!ipco) return false;
    const std::vector<Box> properties = boxes(ipco->body);
    for (const auto ipma : boxes(iprp->body)) {
        if (ipma.type != "ipma") continue;
        for (const uint32_t index : properties_of(ipma.body, primary)) {
            if (index == 0 || index > properties.size()) continue;
            const Box& p = properties[index - 1];
            if (p.type == "imir") return true;
            if (p.type == "irot" && !p.body.empty() && (p.body[0] & 3) != 0) return true;
        }
    }
    return false;
}

// libheif reads the file through this, only the parts it needs: the boxes
// that describe the items and the coded data of the primary picture.
struct Reading {
    const Source* source = nullptr;
    uint64_t position = 0;
};

int64_t reader_position(void* job) {
    return static_cast<int64_t>(static_cast<Reading*>(job)->position);
}

int reader_read(void* out, size_t size, void* job) {
    auto* r = static_cast<Reading*>(job);
    if (size == 0) return 0;  // libheif asks for empty boxes with no buffer
    if (r->source->read(r->position, static_cast<uint8_t*>(out), size) != size) return 1;
    r->position += size;
    return 0;
}

int reader_seek(int64_t position, void* job) {
    auto* r = static_cast<Reading*>(job);
    if (position < 0 || static_cast<uint64_t>(position) > r->source->size()) return 1;
    r->position = static_cast<uint64_t>(position);
    return 0;
}

heif_reader_grow_status reader_wait(int64_t size, void* job) {
    const auto* r = static_cast<Reading*>(job);
    return size >= 0 && static_cast<uint64_t>(size) <= r->source->size() ? heif_reader_grow_status_size_reached
                                                                         : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader kReader{1, reader_position, reader_read, reader_seek, reader_wait};

}  // namespace

bool heif_turns_picture(const Source& source) {
    // The top-level boxes are walked by their headers alone, so that only
    // the meta box is read, wherever it lies.
    uint64_t at = 0;
    std::array<uint8_t, 16> header{};
    while (source.read(at, header.data(), header.size()) >= 8) {
        uint64_t size = be32(header.data());
        if (size == 1) size = uint64_t{be32(&header[8])} << 32 | be32(&header[12]);
        if (size == 0) size = source.size() - at;
        if (size < 8 || size > source.size() - at) return false;
        if (std::string_view(reinterpret_cast<const char*>(&header[4]), 4) == "meta") {
            if (size > kMetaLimit) return false;
            std::vector<uint8_t> box(static_cast<size_t>(size));
            if (source.read(at, box.data(), box.size()) != box.size()) return false;
            return primary_turned(box);
        }
        at += size;
    }
    return false;
}

std::optional<Picture> decode_heif(const Source& source, Fit fit, const Budget& budget,
                                   const ColourSource& unmarked) {
    const HeifPtr<heif_context> context(heif_context_alloc());
    if (!context) return std::nullopt;
    Reading reading{&source};
    if (heif_context_read_from_reader(context.get(), &kReader, &reading, nullptr).code) return std::nullopt;
    heif_image_handle* raw_handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw_handle).code || !raw_handle) return std::nullopt;
    const HeifPtr<heif_image_handle> handle(raw_handle);

    // The stored size comes first, before anything is decoded: that is the
    // frame the codec makes, turned and cropped only afterwards.
    const int stored_w = heif_image_handle_get_ispe_width(handle.get());
    const int stored_h = heif_image_handle_get_ispe_height(handle.get());
    const int width = heif_image_handle_get_width(handle.get()), height = heif_image_handle_get_height(handle.get());
    if (stored_w <= 0 || stored_h <= 0 || !within_pixel_limit(stored_w, stored_h) ||
        !within_pixel_limit(width, height)) {
        return std::nullopt;
    }
    // The codec's planes and the interleaved RGB frame made from them are
    // held at once: 4.5 bytes a pixel for 8-bit 4:2:0, counted as 6 to
    // leave room for deeper samples.
    if (uint64_t(stored_w) * uint64_t(stored_h) * 6 > budget.held_bytes) return std::nullopt;

    const HeifPtr<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options) return std::nullopt;
    options->convert_hdr_to_8bit = 1;
    heif_image* raw_image = nullptr;
    if (heif_decode_image(handle.get(), &raw_image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options.get())
            .code ||
        !raw_image) {
        return std::nullopt;
    }
    const HeifPtr<heif_image> image(raw_image);
    int stride = 0;
    const uint8_t* rows = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!rows || w <= 0 || h <= 0 || stride < w * 3 ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        return std::nullopt;
    }

    const Size decoded{static_cast<uint32_t>(w), static_cast<uint32_t>(h)};
    Picture picture = make_picture(fit_size(decoded, fit));
    BoxResampler resampler(decoded, picture.size, picture.rgb.get(), 0, picture.size.height);
    for (int y = 0; y < h; ++y) resampler.push_row(rows + size_t(y) * size_t(stride));
    if (!resampler.done()) return std::nullopt;
    const ColourSource own = colour_of(handle.get());
    to_srgb(picture, own.empty() ? unmarked : own);
    return picture;
}

}  // namespace orv::preview
