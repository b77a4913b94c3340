// csdk_synthetic: the built-in deterministic street scene the stand-in SDK serves by default.
#include "csdk_synthetic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace csdk_standin {

namespace {

// Rows draw their noise from a random window of this many samples into the noise table.
const int kNoiseWindow = 4096;
// Peak sensor noise in luminance steps: a lit scene is clean, a dark one grainy.
const int kDayNoise = 3;
const int kNightNoise = 9;
// Length of the lighting-change cycle and the interval in it with the light down, in seconds.
const double kLightCycle = 20.0;
const double kLightDownFrom = 8.0;
const double kLightDownTo = 14.0;

uint32_t mix(uint32_t h) {
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}

uint32_t lattice(int ix, int iy, uint32_t seed) {
    return mix(static_cast<uint32_t>(ix) * 374761393U + static_cast<uint32_t>(iy) * 668265263U + seed) & 255U;
}

// Smooth value noise 0..255 with the given cell size in pixels.
double valueNoise(int x, int y, int cell, uint32_t seed) {
    int ix = x / cell, iy = y / cell;
    double fx = static_cast<double>(x % cell) / cell, fy = static_cast<double>(y % cell) / cell;
    double a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    double c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    double top = a + (b - a) * fx, bottom = c + (d - c) * fx;
    return top + (bottom - top) * fy;
}

// The unseeded scene: four people (one crossing the road diagonally) and two vehicles.
const SyntheticScene::Mover kMovers[] = {
    {true, 0.46, 0.46, 0.050, +1, 0.10, 60, 150, 170, 1.0, 0.38},    // red shirt, slow walker
    {true, 0.47, 0.47, 0.036, -1, 0.55, 120, 170, 110, 1.0, 0.38},   // blue shirt
    {false, 0.70, 0.70, 0.220, +1, 0.30, 190, 128, 128, 1.0, 2.5},  // white car
    {false, 0.83, 0.83, 0.150, -1, 0.05, 70, 100, 160, 1.0, 2.5},   // dark red van
    {true, 0.95, 0.46, 0.030, +1, 0.70, 150, 90, 140, 1.0, 0.38},    // crossing the road diagonally
    {true, 0.95, 0.95, 0.090, -1, 0.35, 200, 110, 140, 1.0, 0.38},   // runner near the camera
};

// Uniform in [lo, hi) from the next draw of a seeded sequence.
double draw(uint32_t& state, double lo, double hi) {
    state = mix(state + 0x9E3779B9U);
    return lo + (hi - lo) * (state / 4294967296.0);
}

// Nearer movers (lower in the frame) look bigger.
double perspective(double foot) { return 0.45 + 0.75 * foot; }

}  // namespace

SyntheticScene::SyntheticScene(bool night, bool lightchange, uint64_t frames)
    : night_(night), lightchange_(lightchange), frames_(frames), movers_(std::begin(kMovers), std::end(kMovers)) {
    for (int i = 0; i < 768; ++i) clamp_[i] = static_cast<uint8_t>(std::min(255, std::max(0, i - 256)));
    for (int i = 0; i < 256; ++i) gainLut_[i] = static_cast<uint8_t>(i);
}

std::string SyntheticScene::describe() const {
    std::string text = "synthetic scene";
    if (night_ || lightchange_ || empty_ || frames_ != 0 || seed_ != 0) {
        text += " (";
        std::string options;
        if (night_) options += "night";
        if (lightchange_) options += std::string(options.empty() ? "" : ", ") + "lighting change";
        if (empty_) options += std::string(options.empty() ? "" : ", ") + "empty";
        if (frames_ != 0) options += std::string(options.empty() ? "" : ", ") + std::to_string(frames_) + " frames";
        if (seed_ != 0) options += std::string(options.empty() ? "" : ", ") + "seed " + std::to_string(seed_);
        text += options + ")";
    }
    return text;
}

void SyntheticScene::setSeed(uint32_t seed) {
    seed_ = seed;
    if (seed == 0) {
        movers_.assign(std::begin(kMovers), std::end(kMovers));
        return;
    }
    uint32_t state = mix(seed * 2654435761U + 1U);
    const int count = 3 + static_cast<int>(draw(state, 0, kMaxMoverCount - 2));
    movers_.clear();
    for (int i = 0; i < count; ++i) {
        Mover m;
        // The first two movers are one of each class; the rest are drawn.
        m.person = i < 2 ? i == 0 : draw(state, 0, 1) < 0.55;
        if (m.person) {
            // Mostly on the far pavement, some on the near one, a few crossing the road.
            m.footFrom = draw(state, 0, 1) < 0.7 ? draw(state, 0.44, 0.52) : draw(state, 0.92, 0.98);
            m.footTo = draw(state, 0, 1) < 0.1 ? draw(state, 0.44, 0.98) : m.footFrom;
            m.speed = draw(state, 0.02, 0.10);
            m.aspect = draw(state, 0.30, 0.46);
        } else {
            m.footFrom = m.footTo = draw(state, 0.62, 0.84);
            m.speed = draw(state, 0.08, 0.25);
            m.aspect = draw(state, 2.0, 3.0);
        }
        m.direction = draw(state, 0, 1) < 0.5 ? -1 : +1;
        m.phase = draw(state, 0, 1);
        m.scale = draw(state, 0.8, 1.25);
        m.y = static_cast<uint8_t>(draw(state, 50, 215));
        m.u = static_cast<uint8_t>(draw(state, 90, 170));
        m.v = static_cast<uint8_t>(draw(state, 90, 170));
        movers_.push_back(m);
    }
}

bool SyntheticScene::prepare(int width, int height) {
    if (width < 2 || height < 2 || (width % 2) != 0 || (height % 2) != 0) return false;
    if (width == width_ && height == height_) return true;
    width_ = width;
    height_ = height;
    buildBackground();
    return true;
}

double SyntheticScene::gainAt(double seconds) const {
    if (!lightchange_) return 1.0;
    double inCycle = std::fmod(seconds, kLightCycle);
    return (inCycle >= kLightDownFrom && inCycle < kLightDownTo) ? kDimGain : 1.0;
}

void SyntheticScene::buildBackground() {
    const int w = width_, h = height_;
    backY_.assign(static_cast<size_t>(w) * h, 0);
    backVU_.assign(static_cast<size_t>(w) * h / 2, 128);
    // Texture cells scale with the frame so every resolution shows the same scene.
    const int big = std::max(4, w / 10), mid = std::max(2, w / 40), small = std::max(1, w / 160);
    struct Building {
        double x0, x1, top;
    };
    const Building buildings[] = {{0.02, 0.16, 0.16}, {0.18, 0.30, 0.22}, {0.55, 0.70, 0.12}, {0.74, 0.95, 0.20}};
    for (int y = 0; y < h; ++y) {
        const double fy = (y + 0.5) / h;
        for (int x = 0; x < w; ++x) {
            const double fx = (x + 0.5) / w;
            const double tex = (valueNoise(x, y, big, 11) * 4 + valueNoise(x, y, mid, 23) * 2 +
                                valueNoise(x, y, small, 37)) / 7.0 - 128.0;
            double lum;
            int u = 128, v = 128;
            bool building = false;
            for (const Building& b : buildings) {
                if (fx >= b.x0 && fx < b.x1 && fy >= b.top && fy < 0.42) building = true;
            }
            if (building) {
                const bool window = std::fmod(fx * 40.0, 1.0) > 0.35 && std::fmod(fy * 25.0, 1.0) > 0.4;
                lum = (window ? 70 : 115) + tex * 0.15;
                u = 118;
                v = 140;
            } else if (fy < 0.30) {
                lum = 200 - 40 * fy / 0.30 + tex * 0.05;
                u = 150;
                v = 112;
            } else if (fy < 0.42) {
                lum = 95 + tex * 0.30;
                u = 108;
                v = 112;
            } else if (fy < 0.48) {
                lum = 150 + tex * 0.10;
            } else if (fy < 0.56) {
                lum = 105 + tex * 0.25;
                u = 105;
                v = 115;
            } else if (fy < 0.84) {
                const bool marking = fy > 0.745 && fy < 0.755 && std::fmod(fx * 10.0, 1.0) < 0.5;
                lum = marking ? 210 : 80 + tex * 0.08;
            } else {
                lum = 130 + tex * 0.15;
                u = 122;
                v = 126;
            }
            if (night_) {
                lum = 18 + lum * 0.28;
                u = v = 128;
            }
            backY_[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, lum))));
            if ((x % 2) == 0 && (y % 2) == 0) {
                uint8_t* vu = &backVU_[static_cast<size_t>(y / 2) * w + x];
                vu[0] = static_cast<uint8_t>(v);
                vu[1] = static_cast<uint8_t>(u);
            }
        }
    }
    // A roughly bell-shaped noise distribution: the sum of two uniform variates.
    const int amplitude = night_ ? kNightNoise : kDayNoise;
    noise_.resize(static_cast<size_t>(w) + kNoiseWindow);
    for (size_t i = 0; i < noise_.size(); ++i) {
        const uint32_t r = mix(static_cast<uint32_t>(i) * 2654435761U + 97);
        const int a = static_cast<int>(r & 0xFFFF) % (amplitude + 1), b = static_cast<int>(r >> 16) % (amplitude + 1);
        noise_[i] = static_cast<int8_t>(a + b - amplitude);
    }
}

void SyntheticScene::span(uint8_t* nv21, int row, int x0, int x1, Paint p, uint32_t noiseSeed) const {
    if (row < 0 || row >= height_) return;
    x0 = std::max(0, x0);
    x1 = std::min(width_, x1);
    if (x0 >= x1) return;
    const int8_t* noise = &noise_[mix(noiseSeed + static_cast<uint32_t>(row) * 7919U) % kNoiseWindow];
    uint8_t* line = nv21 + static_cast<size_t>(row) * width_;
    for (int x = x0; x < x1; ++x) line[x] = clamp_[p.y + noise[x] + 256];
    if ((row % 2) == 0) {
        uint8_t* vu = nv21 + static_cast<size_t>(width_) * height_ + static_cast<size_t>(row / 2) * width_;
        for (int x = x0 & ~1; x < x1; x += 2) {
            vu[x] = p.v;
            vu[x + 1] = p.u;
        }
    }
}

void SyntheticScene::rect(uint8_t* nv21, double x0, double y0, double x1, double y1, Paint p, uint32_t seed) const {
    const int r0 = static_cast<int>(std::floor(y0)), r1 = static_cast<int>(std::ceil(y1));
    const int c0 = static_cast<int>(std::floor(x0)), c1 = static_cast<int>(std::ceil(x1));
    for (int r = r0; r < r1; ++r) span(nv21, r, c0, c1, p, seed);
}

void SyntheticScene::ellipse(uint8_t* nv21, double cx, double cy, double rx, double ry, Paint p, uint32_t seed) const {
    if (rx <= 0 || ry <= 0) return;
    const int r0 = static_cast<int>(std::floor(cy - ry)), r1 = static_cast<int>(std::ceil(cy + ry));
    for (int r = r0; r <= r1; ++r) {
        const double dy = (r + 0.5 - cy) / ry;
        if (dy * dy > 1.0) continue;
        const double half = rx * std::sqrt(1.0 - dy * dy);
        span(nv21, r, static_cast<int>(std::lround(cx - half)), static_cast<int>(std::lround(cx + half)), p, seed);
    }
}

static_assert(sizeof(kMovers) / sizeof(kMovers[0]) == SyntheticScene::kMoverCount, "one box per mover");
static_assert(SyntheticScene::kMaxMoverCount >= SyntheticScene::kMoverCount, "the unseeded scene fits");

void SyntheticScene::moverBoxes(double t, std::vector<MoverBox>& out) const {
    out.clear();
    if (empty_) return;
    const double W = width_, H = height_;
    int id = 0;
    for (const Mover& m : movers_) {
        const bool person = m.person;
        double foot = m.footFrom;
        double objH, objW;
        const double widest = seed_ ? 3.0 * 1.25 : 2.5;  // largest aspect x scale of a vehicle
        const double path = W + widest * 0.13 * H * perspective(1.0);  // longer than any mover is wide
        const double travelled = std::fmod(m.phase * path + m.speed * W * t, path);
        const double progress = travelled / path;
        foot = m.footFrom + (m.footTo - m.footFrom) * progress;
        objH = (person ? 0.17 : 0.13) * H * perspective(foot) * m.scale;
        objW = m.aspect * objH;
        const double left = m.direction > 0 ? travelled - objW : W - travelled;
        const double bottom = foot * H, top = bottom - objH;
        out.push_back(MoverBox{id++, person, left, top, left + objW, bottom});
    }
}

void SyntheticScene::drawMovers(uint8_t* nv21, double t) const {
    uint32_t seed = static_cast<uint32_t>(index_) * 2246822519U;
    std::vector<MoverBox>& boxes = boxes_;
    if (boxes.capacity() < kMaxMoverCount) boxes.reserve(kMaxMoverCount);
    moverBoxes(t, boxes);
    for (const Mover& m : movers_) {
        seed += 0x9E3779B9U;
        const MoverBox& box = boxes[static_cast<size_t>(&m - movers_.data())];
        const bool person = box.person;
        const double left = box.left, top = box.top, right = box.right, bottom = box.bottom;
        const double objW = right - left, objH = bottom - top;
        Paint main{m.y, m.u, m.v};
        if (night_) main = Paint{static_cast<uint8_t>(person ? 95 : 55), 128, 128};
        const Paint dark{static_cast<uint8_t>(night_ ? 30 : 45), 128, 128};
        if (person) {
            const Paint skin = night_ ? Paint{120, 128, 128} : Paint{170, 110, 150};
            // Legs swing twice per second in opposite phase.
            const double swing = std::sin(2.0 * M_PI * 2.0 * t + m.phase * 10.0) * objW * 0.12;
            rect(nv21, left + objW * 0.15 + swing, top + objH * 0.58, left + objW * 0.45 + swing, bottom, dark, seed);
            rect(nv21, left + objW * 0.55 - swing, top + objH * 0.58, left + objW * 0.85 - swing, bottom, dark, seed);
            rect(nv21, left + objW * 0.10, top + objH * 0.18, left + objW * 0.90, top + objH * 0.60, main, seed);
            ellipse(nv21, left + objW * 0.5, top + objH * 0.09, objW * 0.28, objH * 0.09, skin, seed);
        } else {
            const Paint glass{static_cast<uint8_t>(night_ ? 25 : 40), 128, 128};
            rect(nv21, left, top + objH * 0.35, right, bottom - objH * 0.12, main, seed);
            rect(nv21, left + objW * 0.20, top, right - objW * 0.25, top + objH * 0.40, main, seed);
            rect(nv21, left + objW * 0.25, top + objH * 0.06, right - objW * 0.30, top + objH * 0.34, glass, seed);
            ellipse(nv21, left + objW * 0.2, bottom - objH * 0.12, objH * 0.14, objH * 0.14, Paint{20, 128, 128}, seed);
            ellipse(nv21, right - objW * 0.2, bottom - objH * 0.12, objH * 0.14, objH * 0.14, Paint{20, 128, 128}, seed);
            if (night_) {
                const double front = m.direction > 0 ? right - objW * 0.04 : left + objW * 0.04;
                ellipse(nv21, front, top + objH * 0.55, objW * 0.05, objH * 0.08, Paint{240, 128, 128}, seed);
            }
        }
    }
}

void SyntheticScene::applyGain(uint8_t* nv21, double gain) {
    if (gain != lutGain_) {
        for (int i = 0; i < 256; ++i) gainLut_[i] = static_cast<uint8_t>(std::lround(i * gain));
        lutGain_ = gain;
    }
    if (gain == 1.0) return;
    const size_t n = static_cast<size_t>(width_) * height_;
    for (size_t i = 0; i < n; ++i) nv21[i] = gainLut_[nv21[i]];
}

FrameSource::Result SyntheticScene::next(uint8_t* nv21) {
    if (width_ == 0 || nv21 == nullptr) return Result::Error;
    if (frames_ != 0 && index_ >= frames_) return Result::End;
    const uint32_t frameSeed = static_cast<uint32_t>(index_) * 2654435761U;
    for (int row = 0; row < height_; ++row) {
        const int8_t* noise = &noise_[mix(frameSeed ^ (static_cast<uint32_t>(row) * 40503U)) % kNoiseWindow];
        const uint8_t* back = &backY_[static_cast<size_t>(row) * width_];
        uint8_t* line = nv21 + static_cast<size_t>(row) * width_;
        for (int x = 0; x < width_; ++x) line[x] = clamp_[back[x] + noise[x] + 256];
    }
    std::memcpy(nv21 + static_cast<size_t>(width_) * height_, backVU_.data(), backVU_.size());
    const double seconds = static_cast<double>(index_) / kSceneFps;
    if (!empty_) drawMovers(nv21, seconds);
    applyGain(nv21, gainAt(seconds));
    ++index_;
    return Result::Ok;
}

bool SyntheticScene::rewind() {
    index_ = 0;
    return true;
}

}  // namespace csdk_standin
