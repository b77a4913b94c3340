// Connected components: blob lists of hand-made masks, a flood-fill reference on random masks, label
// counts far beyond 16 bits, the graph operations and allocation failures.
#include <algorithm>
#include <array>

#include "image_test_util.h"
#include "kt_conncomp.h"

using kttest::Image;

using Box = std::array<uint32_t, 4>;  // x, y, width, height (inclusive extent)

// Owns a components state and a kernel for one test.
struct Labeller {
    kt_conncomp state{}; kt_kernel kernel{};
    Labeller(uint32_t kw, uint32_t kh, uint32_t type, uint32_t capacity = 64) {
        EXPECT_EQ(2, kt_conncomp_init(capacity, &state) + kt_init_kernel(&kernel, kw, kh, type));
    }
    ~Labeller() { kt_conncomp_deinit(&state), kt_free_kernel(&kernel); }
    // Runs the labelling, which must succeed; checks the list's count and confidence.
    std::vector<Box> run(const kt_image* mask, uint32_t threshold = 255) {
        kt_vertex* list = nullptr; uint32_t count = 12345;
        EXPECT_EQ(1, kt_conncomp_process(mask, threshold, &state, &kernel, &list, &count));
        std::vector<Box> boxes; bool whole = true;
        for (kt_vertex* v = list; v; v = v->next) whole &= v->confidence == 1.0f, boxes.push_back({v->x, v->y, v->width, v->height});
        EXPECT_TRUE(whole && boxes.size() == count);
        kt_free_vertices(&list);
        return boxes;
    }
};

// Reference: flood fill joining two foreground pixels when one lies inside the element centred on
// the other; blobs in raster order of their first pixel, boxes inclusive.
static std::vector<Box> flood_fill(const kt_image* mask, const kt_kernel* k, uint32_t threshold) {
    const int w = int(mask->width), h = int(mask->height), hw = int(k->width / 2), hh = int(k->height / 2);
    std::vector<int> seen(size_t(w) * h, 0), stack;
    std::vector<Box> blobs;
    for (int start = 0; start < w * h; ++start) {
        if (mask->data[start] < threshold || seen[start]) continue;
        seen[start] = 1, stack.assign(1, start);
        int x0 = start % w, x1 = x0, y0 = start / w, y1 = y0;
        while (!stack.empty()) {
            const int p = stack.back(), px = p % w, py = p / w;
            stack.pop_back();
            x0 = std::min(x0, px), x1 = std::max(x1, px), y0 = std::min(y0, py), y1 = std::max(y1, py);
            for (int j = 0; j < int(k->height); ++j)
                for (int i = 0; i < int(k->width); ++i) {
                    if (k->cells[i + k->width * j] != KT_KERNEL_INSIDE) continue;
                    const int qx = px + i - hw, qy = py + j - hh, q = qy * w + qx;
                    if (qx < 0 || qy < 0 || qx >= w || qy >= h || mask->data[q] < threshold || seen[q]) continue;
                    seen[q] = 1, stack.push_back(q);
                }
        }
        blobs.push_back({uint32_t(x0), uint32_t(y0), uint32_t(x1 - x0), uint32_t(y1 - y0)});
    }
    return blobs;
}

static void set_rows(Image& mask, const std::vector<std::string>& rows) {
    for (uint32_t y = 0; y < rows.size(); ++y)
        for (uint32_t x = 0; x < rows[y].size(); ++x)
            mask.at(x, y) = rows[y][x] == '#' ? 255 : rows[y][x] == 'o' ? 100 : 0;
}

TEST(ConnComp, HandMadeMasks) {
    const uint32_t S = KT_KERNEL_SQUARE, E = KT_KERNEL_ELLIPSE;
    // Rows: '#' is 255, 'o' is 100, anything else 0. Reach of the square element, order and shapes
    // are left to the random masks.
    const struct { const char* name; uint32_t kernel, type, threshold; std::vector<std::string> rows;
                   std::vector<Box> blobs; } cases[] = {
        {"U shape is one blob", 3, S, 255, {"#...#", "#...#", "#...#", "#####"}, {{0, 0, 4, 3}}},
        // (4, 4) meets two labels of the left blob before (6, 3)'s, which must join as well.
        {"all labels in reach join", 5, S, 255, {"...#...", "#......", "..#....", "..#...#", "....#.."},
         {{0, 0, 6, 4}}},
        // The 5x5 ellipse leaves its corners out: a step of (2, 1) joins, (2, 2) does not.
        {"ellipse joins (2, 1)", 5, E, 255, {"#....", "..#..", "....."}, {{0, 0, 2, 1}}},
        {"ellipse splits (2, 2)", 5, E, 255, {"#....", ".....", "..#.."}, {{0, 0, 0, 0}, {2, 2, 0, 0}}},
        {"threshold 101", 3, S, 101, {"o...#."}, {{4, 0, 0, 0}}}, {"threshold 256", 3, S, 256, {"o...#."}, {}},
        {"threshold 100", 3, S, 100, {"o...#."}, {{0, 0, 0, 0}, {4, 0, 0, 0}}},
        {"threshold 0 takes everything", 3, S, 0, {"o...#."}, {{0, 0, 5, 0}}}};
    for (const auto& c : cases) {
        Image mask(uint32_t(c.rows[0].size()), uint32_t(c.rows.size()), 1);
        set_rows(mask, c.rows);
        Labeller labeller(c.kernel, c.kernel, c.type);
        const std::vector<Box> blobs = labeller.run(mask.get(), c.threshold);
        EXPECT_TRUE(c.blobs == blobs && blobs == flood_fill(mask.get(), &labeller.kernel, c.threshold)) << c.name;
    }
}

TEST(ConnComp, RandomMasksMatchFloodFill) {
    const uint32_t kernels[][3] = {{1, 1, 0}, {1, 5, 0}, {3, 3, 0}, {5, 5, 0}, {11, 11, 0},
                                   {5, 5, 1}, {11, 11, 1}, {7, 3, 0}, {3, 9, 1}};  // w, h, type
    std::mt19937 rng(7);
    for (const auto& k : kernels) {
        Labeller labeller(k[0], k[1], k[2]);
        for (double density : {0.03, 0.15, 0.4, 0.8})
            for (int trial = 0; trial < 12; ++trial) {
                const uint32_t w = 1 + rng() % 61, h = 1 + rng() % 37;  // some narrower than the kernel
                Image mask(w, h, 1); kttest::fill_random(mask.get(), rng(), true, density);
                ASSERT_EQ(flood_fill(mask.get(), &labeller.kernel, 255), labeller.run(mask.get()))
                    << "kernel " << k[0] << "x" << k[1] << " type " << k[2] << " mask " << w << "x" << h;
            }
        // Graded masks against every kind of threshold, at widths around the background skip's block
        // sizes (8, 32 and 64 bytes) and one-pixel-wide or one-row masks. Sparse bright pixels over a
        // mostly-zero row exercise the skip; a threshold of 0 or 1 must still see zero bytes right.
        for (uint32_t w : {1u, 7u, 8u, 9u, 31u, 32u, 33u, 63u, 64u, 65u, 97u, 128u, 130u})
            for (uint32_t h : {1u, 2u, 13u})
                for (uint32_t threshold : {0u, 1u, 128u, 255u, 256u})
                for (bool dense : {false, true}) {
                    // Dense masks make long runs whose ends the threshold decides, 16 bytes at a time.
                    Image mask(w, h, 1);
                    for (uint32_t i = 0; i < w * h; ++i)
                        mask.img.data[i] = (rng() % 5 == 0) != dense ? (rng() % 2 ? 255 : uint8_t(rng())) : 0;
                    ASSERT_EQ(flood_fill(mask.get(), &labeller.kernel, threshold), labeller.run(mask.get(), threshold))
                        << "kernel " << k[0] << "x" << k[1] << " type " << k[2] << " mask " << w << "x" << h
                        << " threshold " << threshold;
                }
    }
    // Long runs and a blob that meets many older labels: one state labels several frames in turn,
    // so labels left from a larger frame must not leak into the next.
    Labeller reused(5, 5, KT_KERNEL_SQUARE);
    for (uint32_t frame = 0; frame < 6; ++frame) {
        Image mask(frame % 2 ? 200 : 71, 40, 1);
        kttest::fill_random(mask.get(), rng(), true, frame % 3 == 0 ? 0.9 : 0.05);
        ASSERT_EQ(flood_fill(mask.get(), &reused.kernel, 255), reused.run(mask.get())) << "frame " << frame;
    }
    // The same comparison fails when the blob lists differ: a 5x5 element joins what 3x3 splits.
    Image mask(9, 1, 1); set_rows(mask, {"#.#.#...#"});
    Labeller wide(5, 5, KT_KERNEL_SQUARE), narrow(3, 3, KT_KERNEL_SQUARE);
    EXPECT_NE(flood_fill(mask.get(), &narrow.kernel, 255), wide.run(mask.get()));
}

TEST(ConnComp, FullHdWorstCaseBeyondSixteenBitLabels) {
    // Dots every third pixel are all separate under a 5x5 element: 640 x 360 = 230400 provisional
    // labels, far past 65535. A full bottom row then joins the last dot row (labels above 229000).
    const uint32_t w = 1920, h = 1080; Image mask(w, h, 1);
    for (uint32_t y = 0; y < h - 2; y += 3)
        for (uint32_t x = 0; x < w; x += 3) mask.at(x, y) = 255;
    std::memset(mask.img.data + (h - 1) * w, 255, w);
    Labeller labeller(5, 5, KT_KERNEL_SQUARE);
    const std::vector<Box> blobs = labeller.run(mask.get());
    ASSERT_EQ(size_t(359) * 640 + 1, blobs.size());  // dot rows 0, 3, ..., 1074 and the joined last
    EXPECT_EQ((std::vector<Box>{{0, 0, 0, 0}, {1917, 1074, 0, 0}, {0, 1077, 1919, 2}}),
              (std::vector<Box>{blobs[0], blobs[blobs.size() - 2], blobs.back()}));
    // Memory stays linear in the labels: one box and one link per label, doubled at most; the run
    // ring holds only the rows a window can reach, and no per-pixel labels are kept.
    EXPECT_LE(labeller.state.graph->capacity, 2u * 230400u);
    EXPECT_EQ(3u * (w / 2 + 1) * 3, labeller.state.run_count);
    EXPECT_EQ(nullptr, labeller.state.labels);
}

TEST(ConnComp, RejectsBadArgumentsWithoutTouchingTheList) {
    Labeller l(5, 5, KT_KERNEL_SQUARE);
    kt_vertex sentinel{}, *list = &sentinel; uint32_t n = 77;
    Image empty, colour(4, 4, 4), mask(4, 4, 1);
    // lying claims more pixels than its buffer holds; broken has a half width inconsistent with its width.
    kt_image zero_width{nullptr, 0, 4, 1, 0}, lying{mask.img.data, 4, 40, 1, mask.img.size};
    kt_kernel broken = l.kernel; broken.half_width = 9;
    kt_conncomp* S = &l.state; const kt_kernel* K = &l.kernel; kt_image* M = mask.get();
    const int results[] = {
        kt_conncomp_process(empty.get(), 255, S, K, &list, &n), kt_conncomp_process(&zero_width, 255, S, K, &list, &n),
        kt_conncomp_process(colour.get(), 255, S, K, &list, &n), kt_conncomp_process(&lying, 255, S, K, &list, &n),
        kt_conncomp_process(M, 255, nullptr, K, &list, &n), kt_conncomp_process(M, 255, S, nullptr, &list, &n),
        kt_conncomp_process(M, 255, S, &broken, &list, &n), kt_conncomp_process(M, 255, S, K, nullptr, &n),
        kt_conncomp_process(M, 255, S, K, &list, nullptr)};
    for (size_t i = 0; i < sizeof results / sizeof *results; ++i) EXPECT_EQ(0, results[i]) << i;
    EXPECT_TRUE(list == &sentinel && n == 77u);
}

TEST(ConnComp, AllocationFailuresReportAndRecover) {
    kt_vertex_pool_release();  // result nodes must come from the heap for the injection to hit
    Image mask(300, 3, 1); for (uint32_t x = 0; x < 300; x += 3) mask.at(x, 0) = 255;  // 100 separate labels
    Labeller l(3, 3, KT_KERNEL_SQUARE, 4);
    kt_vertex* list = nullptr; uint32_t count = 0;
    // Growing the graph fails: the frame is refused with an empty list; the state stays usable.
    auto process = [&] { EXPECT_EQ(0, kt_conncomp_process(mask.get(), 255, &l.state, &l.kernel, &list, &count)); };
    std::string out = kttest::with_alloc_failure(2, process);  // the label ring and the window succeed
    EXPECT_NE(std::string::npos, out.find("kt_conncomp_process(...) - Unable to label image."));
    EXPECT_TRUE(list == nullptr && count == 0);
    EXPECT_EQ(100u, l.run(mask.get()).size());
    kt_vertex_pool_release();

    // A result node fails after 10 were made: 0, with the 10 in the caller's list.
    out = kttest::with_alloc_failure(10, process);
    uint32_t listed = 0; for (kt_vertex* v = list; v; v = v->next) ++listed;
    EXPECT_TRUE(count == 10 && listed == 10);
    for (const char* m : {"kt_resolve_graph(...) - Unable to allocate memory for new vertex.",
                          "kt_conncomp_process(...) - Unable to resolve graph."})
        EXPECT_NE(std::string::npos, out.find(m)) << m;
    kt_free_vertices(&list), kt_vertex_pool_release();

    // A failed init leaves the record empty, so deinit is harmless.
    kt_conncomp state; std::memset(&state, 0xAB, sizeof(state));
    out = kttest::with_alloc_failure(0, [&] { EXPECT_EQ(0, kt_conncomp_init(64, &state)); });
    EXPECT_NE(std::string::npos, out.find("kt_conncomp_init(...) - Unable to allocate memory for g_pGraph."));
    EXPECT_TRUE(state.graph == nullptr && state.labels == nullptr);
    kt_conncomp_deinit(&state);
    EXPECT_EQ(0, kt_conncomp_init(0, &state));
}

TEST(ConnCompGraph, AddGrowClearAndReachability) {
    kt_graph graph{}; kt_vertex box{0, 4, 0, 0, 0.0f, nullptr};
    EXPECT_EQ(KT_NO_VERTEX, kt_add_vertex(&graph, &box));  // no arrays yet
    ASSERT_EQ(1, kt_init_graph(&graph, 2));
    EXPECT_EQ(KT_NO_VERTEX, kt_add_vertex(&graph, nullptr));
    EXPECT_EQ(0u, kt_add_vertex(&graph, &box));
    // Growing fails on the links: nothing is added and the labels so far are kept.
    const std::string out =
        kttest::with_alloc_failure(1, [&] { EXPECT_EQ(KT_NO_VERTEX, kt_add_vertex(&graph, &box)); });
    EXPECT_NE(std::string::npos, out.find("kt_add_vertex(...) - Unable to allocate memory for new edges."));
    EXPECT_EQ(2u, graph.capacity);
    for (uint32_t i = 1; i < 6; ++i) EXPECT_EQ(i, kt_add_vertex(&graph, (box.x = i, &box)));
    EXPECT_EQ(8u, graph.capacity);
    // 0-2, 2-3 and 4-5 touch; 1 is alone (and does not reach itself).
    EXPECT_EQ(1, kt_add_edge(&graph, 2, 0) & kt_add_edge(&graph, 3, 2) & kt_add_edge(&graph, 5, 4));
    EXPECT_EQ(0, kt_add_edge(&graph, 6, 0));
    const std::vector<unsigned char> reach[] = {{1, 0, 1, 1, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 0, 1, 1, 0, 0},
                                                {1, 0, 1, 1, 0, 0}, {0, 0, 0, 0, 1, 1}, {0, 0, 0, 0, 1, 1}};
    for (uint32_t from = 0; from < 6; ++from) {
        std::vector<unsigned char> f(6, 0);
        EXPECT_TRUE(kt_get_reachable(&graph, from, f.data()) == 1 && f == reach[from]) << "from " << from;
    }
    unsigned char flags[8] = {}; EXPECT_EQ(0, kt_get_reachable(&graph, 6, flags));
    kt_vertex* list = nullptr; uint32_t count = 0;
    ASSERT_EQ(1, kt_resolve_graph(&graph, &list, &count));
    ASSERT_EQ(3u, count);  // labels 0, 2, 3 at x = 0, 2, 3; then 1; then 4, 5
    EXPECT_TRUE(list->width == 3 && list->next->x == 1 && list->next->next->width == 1);
    // Lists may mix pooled nodes and plain heap ones.
    auto* plain = static_cast<kt_vertex*>(calloc(1, sizeof(kt_vertex)));
    plain->next = list, list = plain;
    kt_free_vertices(&list); EXPECT_EQ(nullptr, list);
    kt_clear_graph(&graph);  // keeps the capacity for the next frame
    EXPECT_TRUE(graph.count == 0 && graph.capacity == 8);
    kt_free_graph(&graph), kt_free_graph(&graph);
    EXPECT_EQ(0u, graph.capacity);
    kt_vertex_pool_release();
}
