// Blob tracker: prediction rounding, scoring, heap sort, linking passes, coasting, edge and segment
// removal, static mode, record reuse, hostile inputs, and the overlap search against a plain scan.
#include <algorithm>
#include <random>
#include <set>

#include "tracker_util.h"

using namespace kttest;

static kt_bbox bbox(const Box& b) { return kt_bbox{b[0], b[1], b[2], b[3]}; }

TEST(Tracker, PredictionRounding) {
    // Rows: truncate(0.08); x truncate(0.65), y (1.1); more roundings; at most half the size per frame; NaN
    // ignored; d >= y gives 0, sides floored at 3; saturation; static mode rounds its averages.
    const Box B{100, 100, 20, 10};
    const struct { Box box; float v[4]; Box expected; bool still = false; } cases[] = {
        {B, {-0.03f, 0, 0, 0}, B}, {B, {-0.6f, -0.6f, 0, 0}, {100, 99, 20, 10}},
        {B, {-1.0f, 0.49f, 0, 0}, {99, 100, 20, 10}}, {B, {2.4f, 0.6f, 7.6f, 3.2f}, {102, 101, 28, 13}},
        {B, {1e9f, -1e9f, 0, 0}, {110, 95, 20, 10}}, {B, {0, 0, -100, -100}, {100, 100, 10, 5}},
        {B, {NAN, NAN, NAN, NAN}, B}, {{3, 2, 4, 4}, {-50, -50, -50, -50}, {1, 0, 3, 3}},
        {{UINT32_MAX - 1, 7, 100, 0}, {1e9f, 0, 1e9f, 0}, {UINT32_MAX, 7, 150, 0}},
        {{0, 0, 0, 0}, {10.4f, 10.5f, 0.49f, -3.0f}, {10, 11, 0, 0}, true}};
    for (const auto& c : cases) {
        kt_object o{}; o.box = bbox(c.box); kt_bbox p{};
        for (int k = 0; k < 4; ++k) o.motion[k].value = c.v[k];
        (c.still ? kt_object_static_estimate : kt_object_estimate)(&o, &p);
        EXPECT_EQ(c.expected, box_of(p)) << c.v[0] << " " << c.v[1] << " " << c.v[2] << " " << c.v[3];
    }
}

TEST(Tracker, ScoringBranches) {
    Image img(200, 200, 4);
    const Box obj_box{50, 50, 20, 20}, blob_box{50, 50, 30, 20};
    const double ov = 400.0 / 600.0, wm = 1.0 - 10.0 / 50.0, hm = 1.0;
    enum Colour { kBlack, kRed, kBlue };
    const struct { Colour object, blob; uint8_t near; double expected; } cases[] = {
        // No usable histograms, or one side empty; both usable; appearance below 0.2; near an edge or a
        // segment only appearance counts.
        {kBlack, kBlack, 0, 0.2 * ov + 0.4 * wm + 0.4 * hm}, {kBlack, kRed, 0, 0.2 * ov + 0.4 * wm + 0.4 * hm},
        {kRed, kRed, 0, 0.1 * ov + 0.4 + 0.25 * wm + 0.25 * hm}, {kRed, kBlue, 0, 0.0},
        {kRed, kRed, KT_OBJECT_NEAR_EDGE, 1.0}, {kRed, kBlue, KT_OBJECT_NEAR_SEGMENT, 0.0}};
    // Paints the box in one colour on black and fills the info's histograms and vertex from it.
    auto describe = [&](Colour c, const Box& b, kt_blob_info& info, kt_vertex& v) {
        v = kt_vertex{b[0], b[1], b[2], b[3], 1.0f, nullptr}, info.vertex = &v, img.fill(0);
        if (c != kBlack) paint(img, nullptr, b, c == kBlue ? 255 : 0, 0, c == kRed ? 255 : 0);
        const kt_bbox box = bbox(b); kt_tracker_populate_histograms(info.hist, img.get(), nullptr, &box);
    };
    for (const auto& c : cases) {
        kt_vertex v, ov_v, far{150, 150, 10, 10, 1.0f, nullptr};  // far: no overlap, no candidate
        kt_blob_info infos[2]{}, oi{};
        describe(c.blob, blob_box, infos[0], v), describe(c.object, obj_box, oi, ov_v), infos[1].vertex = &far;
        kt_tracker_input in = input(img.get(), Blobs(), 0); kt_object o; kt_candidate slots[2];
        ASSERT_EQ(1, kt_object_init(&o, 1, &in, &oi)); o.flags = uint8_t(o.flags | c.near);
        ASSERT_EQ(1u, kt_track_candidates(&o, infos, 2, slots, 2));
        EXPECT_NEAR(c.expected, slots[0].score, 1e-6) << c.object << " " << c.blob << " " << int(c.near);
        // Never past the slots given.
        EXPECT_TRUE(slots[0].object == &o && slots[0].blob == &infos[0] &&
                    !kt_track_candidates(&o, infos, 2, slots, 0));
    }
}

TEST(Tracker, HeapSortOrdersAscendingAndKeepsEveryCandidate) {
    std::mt19937 rng(7);
    for (uint32_t n : {0u, 1u, 2u, 3u, 17u, 1000u}) {
        std::vector<kt_candidate> c(n);
        for (uint32_t i = 0; i < n; ++i) c[i] = kt_candidate{float(rng() % 50) / 10.0f, float(i), 0, 0, nullptr, nullptr};
        kt_candidate_heapsort(c.data(), n);
        std::set<float> seen; for (const kt_candidate& x : c) seen.insert(x.appearance);
        EXPECT_TRUE(std::is_sorted(c.begin(), c.end(), [](auto& a, auto& b) { return a.score < b.score; }));
        EXPECT_EQ(n, seen.size());
    }
}

TEST(Tracker, LinkingPasses) {
    // Objects a, b mature and c nascent; blobs x, y. Candidates (object, blob) ranked lowest score
    // first, as pairs; matches of a, b, c ('-' for none) and the claims on x and y.
    const struct { const char* name, *ranked; uint8_t max_per_blob; const char* matches; int claims_x, claims_y; }
        cases[] = {{"exclusive first, then merge", "bxayax", 2, "xx-", 2, 0}, {"one per blob", "bxayax", 1, "x--", 1, 0},
        {"runner-up takes the other blob", "aybxax", 1, "x--", 1, 0}, {"nascent gives a shared blob up", "axcx", 2, "x--", 1, 0},
        {"nascent keeps its own blob", "aycx", 2, "y-x", 1, 1}, {"nascent cannot merge", "cxax", 2, "x--", 1, 0}};
    for (const auto& c : cases) {
        kt_object obj[3]{}; kt_blob_info blob[2]{}; std::vector<kt_candidate> cand;
        obj[2].flags = KT_OBJECT_NASCENT;
        for (size_t i = 0; c.ranked[2 * i]; ++i)
            cand.push_back(
                kt_candidate{float(i + 1), 0, 0, 0, &blob[c.ranked[2 * i + 1] - 'x'], &obj[c.ranked[2 * i] - 'a']});
        const uint32_t n = uint32_t(cand.size());
        kt_tracker_exclusive_pass(cand.data(), n), kt_tracker_merge_pass(cand.data(), n, c.max_per_blob);
        kt_tracker_release_pass(cand.data(), n);
        std::string got; for (auto& o : obj) got += o.match ? char('x' + (o.match - blob)) : '-';
        EXPECT_TRUE(c.matches == got && blob[0].claims == c.claims_x && blob[1].claims == c.claims_y)
            << c.name << " " << got;
    }
}

// Runs frames of (blobs, time) through a list on a black 320x240 frame, with segments when given.
struct Frames {
    Image img{320, 240, 4}; List list; kt_tracker_input in{};
    const kt_segment* segment = nullptr; explicit Frames(int static_mode = 0) : list(static_mode) {}
    int frame(const Blobs& b, uint32_t now, uint8_t max_per_blob = 5) {
        in = input(img.get(), b, now), in.max_per_blob = max_per_blob;
        if (segment) in.segments = segment, in.segment_count = 1;
        return list.l.static_mode ? kt_tracker_static_process(&in, list.get()) : kt_tracker_process(&in, list.get());
    }
    bool alive(uint32_t id) { return kt_object_list_find(list.get(), id) != nullptr; }
};

TEST(Tracker, CoastingEdgeAndSegmentRemoval) {
    const kt_segment wall{125, 80, 125, 140};
    const struct { const char* name; Box box; bool segment, nascent, alive_at_once, alive_at_timeout; } cases[] = {
        {"middle coasts until the timeout", {100, 100, 20, 20}, false, false, true, true},
        {"left border: at once", {5, 100, 20, 20}, false, false, false, false},
        {"bottom border: at once", {100, 213, 20, 20}, false, false, false, false},
        {"behind a segment: at once", {100, 100, 20, 20}, true, false, false, false},
        {"nascent: at once", {100, 100, 20, 20}, false, true, false, false}};
    const Blobs distractor({{300, 5, 4, 4}}, {0.1f});  // keeps the frames non-empty, starts nothing
    for (const auto& c : cases) {
        Frames r; r.segment = c.segment ? &wall : nullptr;
        for (uint32_t t = 0; t <= (c.nascent ? 0u : 250u); t += 50) r.frame(Blobs({c.box}), t);
        ASSERT_TRUE(r.list.l.count == 1 && c.segment == ((r.list.l.head->flags & KT_OBJECT_NEAR_SEGMENT) != 0))
            << c.name;
        const uint32_t id = r.list.l.head->id, lost = 300;
        EXPECT_TRUE(r.frame(distractor, lost) == 1 && c.alive_at_once == r.alive(id)) << c.name;
        r.frame(distractor, lost + 1000);
        ASSERT_EQ(c.alive_at_timeout, r.alive(id)) << c.name;
        if (c.alive_at_timeout) { EXPECT_EQ(lost, kt_object_list_find(r.list.get(), id)->lost_since); }
        r.frame(distractor, lost + 1001);
        EXPECT_FALSE(r.alive(id)) << c.name;
    }
}

TEST(Tracker, StaticModeFollowsPositionsAndDropsUnmatched) {
    Frames r(1);
    for (uint32_t t = 0; t <= 250; t += 50) EXPECT_EQ(1, r.frame(Blobs({{100, 100, 20, 20}}), t));
    ASSERT_TRUE(r.list.l.count == 1 && !kt_object_nascent(r.list.l.head));
    kt_object* o = r.list.l.head; const uint32_t id = o->id;
    // A small shift keeps the object.
    ASSERT_TRUE(r.frame(Blobs({{103, 101, 20, 20}}), 300) == 1 && r.list.l.count == 1 && r.list.l.head == o);
    EXPECT_TRUE(o->id == id && o->box.x == 103 && o->updates == 6);
    EXPECT_NEAR(100.0 + 0.005 * 3, o->motion[0].value, 1e-4);  // position average, weight 0.005
    kt_bbox p{}; kt_object_static_estimate(o, &p);
    EXPECT_EQ((Box{100, 100, 20, 20}), box_of(p));
    EXPECT_EQ(0, kt_tracker_process(&r.in, r.list.get()));  // wrong mode: refused, but the update ran
    EXPECT_EQ(0u, r.list.l.count);                           // unmatched: gone at once in static mode
    Frames normal; normal.frame(Blobs({{100, 100, 20, 20}}), 0);
    // The nascent object went in the update.
    EXPECT_TRUE(kt_tracker_static_process(&normal.in, normal.list.get()) == 0 && normal.list.l.count == 0);
}

TEST(Tracker, RemovedRecordsAreReusedWithFreshIds) {
    Frames r;
    r.frame(Blobs({{10, 10, 20, 20}, {60, 10, 20, 20}, {110, 10, 20, 20}}), 0);
    const std::vector<kt_object*> old = r.list.objects(); ASSERT_EQ(3u, old.size());
    // Nascent objects unmatched: removed; the new blobs take their records in the same update.
    const Blobs next({{10, 150, 20, 20}, {60, 150, 20, 20}, {110, 150, 20, 20}, {160, 150, 20, 20}},
                     {1.0f, 1.0f, 0.5f, 0.4f});
    EXPECT_EQ(1, r.frame(next, 50));
    const std::vector<kt_object*> now = r.list.objects();
    // Confidence 0.4 is below 0.5: no object.
    ASSERT_TRUE(now.size() == 3 && std::is_permutation(old.begin(), old.end(), now.begin()));
    EXPECT_TRUE(now[0]->id == 6 && now[1]->id == 5 && now[2]->id == 4);  // the last blob heads the list
    EXPECT_TRUE(kt_object_list_remove(r.list.get(), 5) == 1 && kt_object_list_remove(r.list.get(), 5) == 0);
    EXPECT_TRUE(!r.alive(5) && r.list.l.count == 2);
    kt_vertex v{200, 200, 8, 8, 1.0f, nullptr}; kt_blob_info info{}; info.vertex = &v;
    kt_object* pushed = kt_object_list_push(&r.in, r.list.get(), &info);
    EXPECT_TRUE(pushed == now[1] && pushed->id == 7 && r.list.l.head == pushed && r.list.l.count == 3);
}

TEST(Tracker, HostileInputs) {
    const Blobs three({{10, 10, 20, 20}, {60, 10, 20, 20}, {110, 10, 20, 20}});
    for (auto c : {std::pair<int32_t, uint32_t>{2, 2}, {0, 0}, {-1, 0}}) {  // INT32_MAX: memory test
        Frames r; r.in = input(r.img.get(), three, 0), r.in.blob_count = c.first;
        EXPECT_TRUE(kt_tracker_process(&r.in, r.list.get()) == 1 && c.second == r.list.l.count) << c.first;
    }
    // Zero-size and huge boxes: objects start, nothing overlaps them, nothing wraps or divides by 0.
    Frames r;
    const Blobs odd({{0, 0, 0, 0}, {50, 50, 0, 30}, {UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX},
                     {UINT32_MAX - 5, 3, 100, UINT32_MAX}, {100, 100, 20, 20}});
    for (uint32_t t = 0; t <= 250; t += 50) EXPECT_EQ(1, r.frame(odd, t));
    EXPECT_EQ(5u, r.list.l.count);  // three boxes with an area matched; the zero-size ones restart
    // Missing parts: refused, objects still age (the nascent zero-size ones go; without an image
    // nothing counts as near the edge, so the mature ones coast).
    kt_tracker_input in = input(nullptr, odd, 300); EXPECT_EQ(0, kt_tracker_process(&in, r.list.get()));
    EXPECT_EQ(0, kt_tracker_process(nullptr, r.list.get()) | kt_tracker_process(&in, nullptr));
    EXPECT_EQ(3u, r.list.l.count);
    // Allocation failures at every step of a busy frame: fewer blobs or candidates, never a fault.
    std::vector<Box> many;
    for (uint32_t i = 0; i < 300; ++i) many.push_back({(i % 30) * 10, (i / 30) * 20, 12, 22});
    for (int k = 0; k < 8; ++k) {
        Frames f; f.frame(Blobs(many), 0);
        kt_alloc_fail_after(k);
        EXPECT_EQ(1, f.frame(Blobs(many), 50));
        kt_alloc_fail_after(-1);
        EXPECT_TRUE(f.list.l.count <= 600u && f.list.l.candidate_count <= f.list.l.candidate_capacity) << k;
    }
    kt_object_list_free(r.list.get());  // twice is harmless
    EXPECT_TRUE(r.list.l.count == 0 && r.list.l.head == nullptr && r.list.l.infos == nullptr);
}

// The grid-driven search gives exactly the candidates, in exactly the order, of a plain scan.
TEST(Tracker, OverlapSearchMatchesPlainScan) {
    std::mt19937 rng(12);
    auto R = [&](uint32_t m) { return uint32_t(rng() % m); };
    auto random_blobs = [&](uint32_t n, uint32_t w, uint32_t h) {
        std::vector<Box> boxes(n);
        for (Box& b : boxes) {  // large, zero area, past the coordinate range, or ordinary
            const uint32_t kind = R(20);
            b = kind == 0   ? Box{R(w), R(h), R(w), R(h)} : kind == 1 ? Box{R(w), R(h), 0, R(9)}
                : kind == 2 ? Box{UINT32_MAX - R(50), R(h), R(90), 9} : Box{R(w), R(h), 1 + R(40), 1 + R(40)};
        }
        return boxes;
    };
    for (uint32_t round = 0; round < 8; ++round) {
        Frames r; const uint32_t w = 320 + R(2000), h = 240 + R(1000);
        r.frame(Blobs(random_blobs(50 + R(400), w, h)), 0);
        Blobs second(random_blobs(50 + R(800), w, h)); r.in = input(r.img.get(), second, 50);
        const uint32_t n = kt_tracker_prepare_blobs(&r.in, r.list.get());
        ASSERT_EQ(uint32_t(second.count()), n);
        const uint32_t made = kt_tracker_collect_candidates(&r.in, r.list.get());
        std::vector<kt_candidate> expected, slots(n);
        for (kt_object* o : r.list.objects()) {
            const uint32_t k = kt_track_candidates(o, r.list.l.infos, n, slots.data(), n);
            expected.insert(expected.end(), slots.begin(), slots.begin() + k);
        }
        ASSERT_TRUE(expected.size() == made && made > 0) << round << " " << made;
        const kt_candidate* got = r.list.l.candidates;
        for (uint32_t i = 0; i < made; ++i)
            ASSERT_TRUE(got[i].object == expected[i].object && got[i].blob == expected[i].blob &&
                        got[i].score == expected[i].score) << round << " " << i;
        EXPECT_LE(r.list.l.candidate_capacity, std::max<uint32_t>(100, 2 * made + 2 * n));
    }
}

// A red and a blue box meet on a plain gray background; while they touch they are one blob. They
// either pass through each other, or turn back so that their remembered motion points the wrong way
// and only their colours tell them apart. Both keep their identities either way.
TEST(Tracker, CrossingBoxesKeepTheirIdentities) {
    for (bool turn_back : {false, true}) {
        Image img(320, 240, 4), mask(320, 240, 1); List list;
        uint32_t id_a = 0, id_b = 0; int merged_frames = 0, shared = 0;
        for (uint32_t f = 0; f <= 60; ++f) {
            const uint32_t p = turn_back && f > 33 ? 66 - f : f;
            const Box a{20 + 4 * p, 100, 20, 30}, b{280 - 4 * p, 104, 20, 30};
            img.fill(60), mask.fill(0), paint(img, &mask, a, 0, 0, 220), paint(img, &mask, b, 220, 0, 0);
            const bool apart = a[0] + a[2] + 2 < b[0] || b[0] + b[2] + 2 < a[0]; merged_frames += !apart;
            const uint32_t left = std::min(a[0], b[0]), right = std::max(a[0], b[0]) + 20;
            Blobs blobs = apart ? Blobs({a, b}) : Blobs({{left, 100, right - left, 34}});
            kt_tracker_input in = input(img.get(), blobs, f * 40); in.mask = mask.get();
            ASSERT_EQ(1, kt_tracker_process(&in, &list.l)); if (f < 6) continue;
            uint32_t over_a = 0, over_b = 0;
            for (kt_object* o : list.objects()) {
                shared += !apart && o->shared;  // both mature objects merge into the one blob
                if (box_of(o->box) == a) over_a = o->id;
                if (box_of(o->box) == b) over_b = o->id;
            }
            if (apart && f == 6) id_a = over_a, id_b = over_b;
            EXPECT_TRUE(!apart || (over_a == id_a && over_b == id_b && id_a && id_b && id_a != id_b))
                << "frame " << f << (turn_back ? " turning back" : " passing");
        }
        EXPECT_TRUE(merged_frames >= 4 && shared == 2 * merged_frames && list.l.count == 2)
            << merged_frames << " " << shared;
    }
}
