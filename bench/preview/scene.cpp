// Writes a synthetic photograph-like scene as binary PPM to standard output:
// smooth sky-like gradients, fine texture and sharp edges, so that encoders
// produce files of a realistic size for their pixel count.
//
//   orvql-bench-scene WIDTH HEIGHT > scene.ppm
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Deterministic hash noise in [0, 1).
float noise(uint32_t x, uint32_t y) {
    uint32_t h = x * 374761393u + y * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return float(h ^ (h >> 16)) / 4294967296.0f;
}

// Value noise interpolated over a grid of `cell` pixels.
float smooth_noise(float x, float y, float cell) {
    const float gx = x / cell, gy = y / cell;
    const auto ix = static_cast<uint32_t>(gx), iy = static_cast<uint32_t>(gy);
    const float fx = gx - float(ix), fy = gy - float(iy);
    const float a = noise(ix, iy), b = noise(ix + 1, iy), c = noise(ix, iy + 1), d = noise(ix + 1, iy + 1);
    const float top = a + (b - a) * fx, bottom = c + (d - c) * fx;
    return top + (bottom - top) * fy;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT > scene.ppm\n", argv[0]);
        return 2;
    }
    const long w = std::atol(argv[1]), h = std::atol(argv[2]);
    if (w <= 0 || h <= 0) return 2;
    std::printf("P6\n%ld %ld\n255\n", w, h);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (long y = 0; y < h; ++y) {
        const float v = float(y) / float(h);
        for (long x = 0; x < w; ++x) {
            const float u = float(x) / float(w);
            const float hills = 0.55f + 0.12f * std::sin(u * 9.0f) + 0.08f * std::sin(u * 23.0f + 1.0f);
            const float texture = smooth_noise(float(x), float(y), 64) * 0.5f + smooth_noise(float(x), float(y), 9) * 0.3f +
                                  noise(uint32_t(x), uint32_t(y)) * 0.2f;
            float r, g, b;
            if (v < hills) {  // sky with clouds
                const float cloud = smooth_noise(float(x), float(y), 180) * 0.6f + texture * 0.25f;
                r = 90 + 120 * v + 90 * cloud, g = 140 + 80 * v + 80 * cloud, b = 220 + 25 * cloud;
            } else {  // ground with grass-like texture and a few stones
                const float stone = smooth_noise(float(x), float(y), 40) > 0.8f ? 1.0f : 0.0f;
                r = 60 + 70 * texture + 110 * stone, g = 90 + 90 * texture + 100 * stone, b = 40 + 40 * texture + 90 * stone;
            }
            uint8_t* p = &row[size_t(x) * 3];
            p[0] = uint8_t(std::fmin(255.0f, r)), p[1] = uint8_t(std::fmin(255.0f, g)), p[2] = uint8_t(std::fmin(255.0f, b));
        }
        std::fwrite(row.data(), 1, row.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
