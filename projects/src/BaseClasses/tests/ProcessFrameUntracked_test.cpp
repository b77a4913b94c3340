// Untracked detections of a process frame: splicing, counts, classes, pending flags, ownership.
#include <gtest/gtest.h>

#include <vector>

#include "ProcessFrame.h"

namespace {
std::vector<uint32_t> xs(const kt_vertex* v) {
    std::vector<uint32_t> out;
    for (; v != nullptr; v = v->next) out.push_back(v->x);
    return out;
}
}  // namespace

TEST(ProcessFrameUntracked, SpliceMovesRecordsToTheFront) {
    const struct {
        unsigned count;
        std::vector<uint32_t> moved, left;
    } cases[] = {{5, {1, 2, 3}, {}}, {2, {1, 2}, {3}}, {1, {1}, {2, 3}}, {0, {}, {1, 2, 3}}};
    for (const auto& c : cases) {
        ProcessFrame frame;
        frame.addUntracked(ktml::BoundingBox<int>(9, 0, 2, 2), "Moving", 0.5f);
        kt_vertex* list = kt_new_vertex(1, 0, 1, 1, 1.0f);
        list->next = kt_new_vertex(2, 0, 1, 1, 1.0f);
        list->next->next = kt_new_vertex(3, 0, 1, 1, 1.0f);
        frame.spliceUntracked(&list, "Moving", c.count);
        unsigned n = 0;
        std::vector<uint32_t> expect = c.moved;
        expect.push_back(9);
        EXPECT_TRUE(xs(list) == c.left && xs(frame.getUntracked("Moving", n)) == expect && n == expect.size()) << c.count;
        kt_free_vertices(&list);
    }
    ProcessFrame frame;
    kt_vertex* none = nullptr;
    frame.spliceUntracked(&none, "Moving", 3);
    frame.spliceUntracked(nullptr, "Moving", 3);
    unsigned n = 7;
    EXPECT_TRUE(frame.getUntracked("Moving", n) == nullptr && n == 0) << "nothing spliced, no entry";
}

TEST(ProcessFrameUntracked, ClassesPendingFlagsAndOwnership) {
    ProcessFrame frame;
    frame.addUntracked(ktml::BoundingBox<int>(-4, 2, 3, 3), "Moving", 0.25f);
    unsigned n = 0;
    const kt_vertex* v = frame.getUntracked("Moving", n);
    ASSERT_TRUE(v != nullptr && n == 1 && v->x == 0 && v->confidence == 0.25f) << "negative x clamps to 0";
    frame.classifyUntracked("Faces", "face");  // creates an empty entry that no tracker must claim
    EXPECT_TRUE(frame.getUntrackedClass("Faces") == "face" && frame.getUntrackedClass("None").empty());
    EXPECT_EQ(frame.nameUntracked(), ktsl::Set<kttl::String>({"Moving"}));
    frame.maskAsTracked("Moving");
    EXPECT_TRUE(frame.nameUntracked().empty());
    // Copies own their chains; clearing frees them (ASan checks both).
    ProcessFrame copy(frame);
    frame.clearUntracked("Moving");
    EXPECT_TRUE(frame.getUntracked("Moving", n) == nullptr && n == 0);
    EXPECT_TRUE(copy.getUntracked("Moving", n) != nullptr && n == 1);
    copy.addUntracked(ktml::BoundingBox<int>(1, 1, 1, 1), "Other", 1.0f);
    frame = copy;
    copy.clear();
    EXPECT_TRUE(frame.getUntracked("Other", n) != nullptr && n == 1);
    EXPECT_TRUE(copy.getUntracked("Other", n) == nullptr && copy.nameUntracked().empty());
}
