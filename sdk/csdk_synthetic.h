// csdk_synthetic: the built-in deterministic street scene the stand-in SDK serves by default.
#pragma once

#include <cstdint>
#include <vector>

#include "csdk_source.h"

namespace csdk_standin {

// A textured street (sky, buildings, pavement, road) with sensor noise and six movers crossing at
// different speeds and directions: four people (one crossing diagonally) and two vehicles. Every
// frame is a pure function of its index, so runs are repeatable. Options: a night scene (dark,
// colourless, noisier, vehicles with headlights) and a sudden lighting change (the scene drops to 45 %
// brightness from 8 s to 14 s of every 20 s).
class SyntheticScene : public FrameSource {
public:
    // The scene's own clock: motion is computed from frame index / this rate, whatever the pacing.
    static constexpr double kSceneFps = 25.0;
    // Brightness of the scene while the light is down in the lighting-change option.
    static constexpr double kDimGain = 0.45;

    SyntheticScene(bool night, bool lightchange, uint64_t frames);

    std::string describe() const override;
    bool prepare(int width, int height) override;
    Result next(uint8_t* nv21) override;
    bool rewind() override;
    double nominalFps() const override { return kSceneFps; }

    // Without movers the street stays empty (a scene in which nothing should be detected).
    void setEmpty(bool empty) { empty_ = empty; }
    // Seed 0 keeps the fixed six movers (figures elsewhere rely on them); any other seed draws 3 to 8
    // movers whose class, size, aspect, colour, speed, direction, lane and phase follow from it, the
    // same on every run. Both classes are always present.
    void setSeed(uint32_t seed);
    uint32_t seed() const { return seed_; }
    int moverCount() const { return static_cast<int>(movers_.size()); }
    // Index of the frame the next call to next() renders.
    uint64_t frameIndex() const { return index_; }
    // Gain the lighting option applies at scene time t seconds (1.0 without the option).
    double gainAt(double seconds) const;

    // Where a mover is drawn at scene time t (pixels of the prepared size; edges may lie outside the
    // frame while it enters or leaves): the ground truth of the scene.
    struct MoverBox {
        int id;       // 0-based index of the mover, stable for the whole scene
        bool person;  // person, else vehicle
        double left, top, right, bottom;
    };
    static constexpr int kMoverCount = 6;     // movers of the unseeded scene
    static constexpr int kMaxMoverCount = 8;  // of any seeded one
    // The boxes of every mover at scene time `seconds`, in id order (moverCount() entries; none in an
    // empty scene).
    void moverBoxes(double seconds, std::vector<MoverBox>& out) const;

    // How one mover looks and moves.
    struct Mover {
        bool person;
        double footFrom;  // feet line (fraction of height) at the start of the crossing
        double footTo;    // ... and at its end (differs for a diagonal walker)
        double speed;     // fractions of the frame width per second
        int direction;    // +1 left to right, -1 right to left
        double phase;     // where on its path the mover is at time 0 (0..1)
        uint8_t y, u, v;  // main colour by day (shirt or body)
        double scale;     // size against the scene's standard mover at that distance
        double aspect;    // width / height
    };

private:
    struct Paint {
        uint8_t y, u, v;
    };
    void buildBackground();
    void span(uint8_t* nv21, int row, int x0, int x1, Paint p, uint32_t noiseSeed) const;
    void rect(uint8_t* nv21, double x0, double y0, double x1, double y1, Paint p, uint32_t seed) const;
    void ellipse(uint8_t* nv21, double cx, double cy, double rx, double ry, Paint p, uint32_t seed) const;
    void drawMovers(uint8_t* nv21, double seconds) const;
    void applyGain(uint8_t* nv21, double gain);

    bool night_;
    bool lightchange_;
    bool empty_ = false;
    uint64_t frames_;
    uint64_t index_ = 0;
    uint32_t seed_ = 0;
    std::vector<Mover> movers_;
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> backY_;  // width x height
    std::vector<uint8_t> backVU_; // width x height / 2, NV21 order
    std::vector<int8_t> noise_;   // width + kNoiseWindow sensor-noise samples
    uint8_t clamp_[768];          // clamp_[v + 256] = v limited to 0..255
    uint8_t gainLut_[256];
    mutable std::vector<MoverBox> boxes_;  // drawMovers' scratch, reserved once
    double lutGain_ = 1.0;
};

}  // namespace csdk_standin
