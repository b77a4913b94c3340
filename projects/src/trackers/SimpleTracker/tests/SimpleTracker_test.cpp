// SimpleTracker as far as it goes: the sensitivity mapping and the parameter checks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MovingObjectParams.h"
#include "SimpleTracker.h"

TEST(SimpleTracker, BackgroundThresholdMapping) {
    struct Case {
        float s, expected;
    };
    const Case cases[] = {
        {-0.01f, 0.5f}, {0.0f, 0.5f},  {0.25f, 2.0f * (0.25f * 0.39999998f) + 0.5f},
        {0.4999f, 2.0f * (0.4999f * 0.39999998f) + 0.5f},
        {0.5f, 0.9f},   {0.75f, 0.95f}, {0.9999f, (0.9999f - 0.5f) * 0.2f + 0.9f}, {1.0f, 1.0f}, {7.0f, 1.0f},
    };
    for (const Case& c : cases) EXPECT_FLOAT_EQ(MovingObjectParams::getBackgroundThreshold(c.s), c.expected) << c.s;
}

TEST(SimpleTracker, ParameterChecks) {
    SimpleTracker tracker(nullptr, 0, false);
    struct Case {
        float sensitivity, scene;
        bool ok;
        const char* error;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {0.0f, 0.0f, true, ""},
        {1.0f, 1.0f, true, ""},
        {1.0001f, 0.5f, false, "Invalid Sensitivity: SimpleTracker (474)"},
        {-0.0001f, 0.5f, false, "Invalid Sensitivity: SimpleTracker (474)"},
        {nan, 0.5f, false, "Invalid Sensitivity: SimpleTracker (474)"},
        {0.5f, 1.0001f, false, "Invalid Scene Detection Sensitivity: SimpleTracker (480)"},
        {0.5f, -1.0f, false, "Invalid Scene Detection Sensitivity: SimpleTracker (480)"},
    };
    for (const Case& c : cases) {
        SimpleTracker::Params p;
        p.sensitivity = c.sensitivity;
        p.sceneSensitivity = c.scene;
        p.minWidth = 7;
        EXPECT_EQ(tracker.setParameters(p), c.ok) << c.sensitivity << " " << c.scene;
        if (!c.ok) {
            EXPECT_EQ(tracker.getLastError(), c.error);
        } else {
            EXPECT_EQ(tracker.getParameters().minWidth, 7);
        }
    }
}

TEST(SimpleTracker, InputImageMustMatchTheColourFlag) {
    SimpleTracker tracker(nullptr, 0, false);
    ProcessFrame frame;
    EXPECT_FALSE(tracker.process(frame, false));
    EXPECT_EQ(tracker.getLastError(), "Invalid Input Image: SimpleTracker (120)");

    kt_image gray{};
    kt_init_image(&gray, 8, 6, 1);
    frame.setImage("Native Image", gray, 2);
    EXPECT_FALSE(tracker.process(frame, true)) << "a gray frame announced as colour";
    EXPECT_TRUE(tracker.process(frame, false));
    frame.clear();
    EXPECT_FALSE(tracker.process(frame, false)) << "cleared frames hold no image";

    kt_image bgry{};
    kt_init_image(&bgry, 8, 6, 4);
    frame.setBGRY("Native Image", bgry);
    EXPECT_TRUE(tracker.process(frame, true));
    EXPECT_TRUE(tracker.process(frame, false)) << "the colour form carries its gray form too";
    EXPECT_EQ(tracker.getFramesSeen(), 3u);
    EXPECT_EQ(tracker.getColourFrames(), 1u);
    kt_free_image(&gray);
    kt_free_image(&bgry);
}
