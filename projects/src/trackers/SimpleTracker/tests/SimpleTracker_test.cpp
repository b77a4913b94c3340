// SimpleTracker as far as it goes: the sensitivity mapping, the parameter checks and the input image.
#include <gtest/gtest.h>

#include <limits>

#include "MovingObjectParams.h"
#include "SimpleTracker.h"

TEST(SimpleTracker, BackgroundThresholdMapping) {
    const float k = 0.39999998f;
    const std::pair<float, float> cases[] = {  // sensitivity, threshold
        {-0.01f, 0.5f}, {0.0f, 0.5f}, {0.25f, 2.0f * (0.25f * k) + 0.5f}, {0.4999f, 2.0f * (0.4999f * k) + 0.5f},
        {0.5f, 0.9f},   {0.75f, 0.95f}, {0.9999f, (0.9999f - 0.5f) * 0.2f + 0.9f}, {1.0f, 1.0f}, {7.0f, 1.0f},
    };
    for (const auto& c : cases) EXPECT_FLOAT_EQ(MovingObjectParams::getBackgroundThreshold(c.first), c.second) << c.first;
}

TEST(SimpleTracker, ParameterChecks) {
    SimpleTracker tracker(nullptr, 0, false);
    const char* const kSensitivity = "Invalid Sensitivity: SimpleTracker (474)";
    const char* const kScene = "Invalid Scene Detection Sensitivity: SimpleTracker (480)";
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float sensitivity, scene;
        const char* error;  // null: accepted
    } cases[] = {
        {0.0f, 0.0f, nullptr},      {1.0f, 1.0f, nullptr},        {1.0001f, 0.5f, kSensitivity}, {-0.0001f, 0.5f, kSensitivity},
        {nan, 0.5f, kSensitivity},  {0.5f, 1.0001f, kScene},      {0.5f, -1.0f, kScene},
    };
    for (const auto& c : cases) {
        SimpleTracker::Params p;
        p.sensitivity = c.sensitivity;
        p.sceneSensitivity = c.scene;
        p.minWidth = 7 + (c.error == nullptr);
        EXPECT_EQ(tracker.setParameters(p), c.error == nullptr) << c.sensitivity << " " << c.scene;
        if (c.error != nullptr) {
            EXPECT_EQ(tracker.getLastError(), c.error);
        }
        EXPECT_EQ(tracker.getParameters().minWidth, 8) << "refused parameters leave the last accepted ones";
    }
}

TEST(SimpleTracker, InputImageMustMatchTheColourFlag) {
    SimpleTracker tracker(nullptr, 0, false);
    ProcessFrame frame;
    EXPECT_FALSE(tracker.process(frame, false));
    EXPECT_EQ(tracker.getLastError(), "Invalid Input Image: SimpleTracker (120)");

    kt_image gray{}, bgry{};
    kt_init_image(&gray, 8, 6, 1);
    kt_init_image(&bgry, 8, 6, 4);
    frame.setImage("Native Image", gray, 2);
    EXPECT_FALSE(tracker.process(frame, true)) << "a gray frame announced as colour";
    EXPECT_TRUE(tracker.process(frame, false));
    frame.clear();
    EXPECT_FALSE(tracker.process(frame, false)) << "cleared frames hold no image";
    frame.setBGRY("Native Image", bgry);
    EXPECT_TRUE(tracker.process(frame, true));
    EXPECT_TRUE(tracker.process(frame, false)) << "the colour form carries its gray form too";
    EXPECT_EQ(tracker.getFramesSeen(), 3u);
    EXPECT_EQ(tracker.getColourFrames(), 1u);
    kt_free_image(&gray);
    kt_free_image(&bgry);
}
