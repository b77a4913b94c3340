// Binary forms of Object and ObjectMap: full and newest-only tracks, readers accumulating history,
// refusal of truncated or inconsistent input, and a bounded fuzz of decode and round trip.
#include "ObjectMap.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "object_test_util.h"

using kttl::ElapsedTime;
using kttl::TimeStamp;
using namespace objtest;

namespace {
Object sample(uint32_t id, int nodes, bool full, const char* state = "Moving") {
    Object o = tracked(id, state);
    for (int i = 0; i < nodes; ++i)
        o.insert(Box(10 + i, 20, 30, 40 + i), i % 2 ? ids({100 + i}) : ids(), at(1 + 0.5 * i));
    o.setFullTrack(full);
    o.setEstimatedPosition(Box(-1, -2, 3, 4));
    o.setVelocity(1.25f, -0.5f);
    o.addClass("human");
    o.getClassConfidences()["human"] = 0.75;
    o.getClassConfidences()["animal"] = 0.125;
    o.setTrackStatus(3);
    o.setClassRegion("face", Box(1, 2, 3, 4));
    o.setAttribute("Near Edge", "false");
    ktml::ColorHistogram h;
    h.addColor(200, 30, 30, 11);
    h.addColor(10, 10, 250, 4);
    o.setHistogram(h);
    return o;
}
}  // namespace

TEST(ObjectBinary, FullTrackRoundTrips) {
    Object o = sample(42, 5, true);
    std::vector<unsigned char> b = encode(o);
    EXPECT_TRUE(b[0] == 42 && b[4] == 1);  // id, full-track flag
    Object back;
    ASSERT_EQ(back.fromBin(b.data(), b.size()), b.size());
    EXPECT_TRUE(back == o && back.historySize() == 5);
    EXPECT_EQ(encode(back), b);

    // The track part is the object-stream form that serializeTrack writes.
    ktsl::MemIOStream track;
    o.serializeTrack(track);
    std::vector<unsigned char> tb = encode(track);
    ASSERT_LE(5 + tb.size(), b.size());
    EXPECT_TRUE(std::equal(tb.begin(), tb.end(), b.begin() + 5));
    ElapsedTime duration;
    TimeStamp first;
    track.read(duration);
    track.read(first);
    EXPECT_TRUE(duration == ElapsedTime(2000) && first == at(1));
}

TEST(ObjectBinary, NewestOnlyAndStaticTracks) {
    Object o = sample(7, 4, false);
    Object back;
    std::vector<unsigned char> b = encode(o);
    ASSERT_EQ(back.fromBin(b.data(), b.size()), b.size());
    Box box;
    ASSERT_TRUE(back.historySize() == 1 && back.newest(box));
    EXPECT_TRUE(box == Box(13, 20, 30, 43) && back.getMergeListSize() == 1);
    EXPECT_EQ(back.getBirthTime(), at(1));  // the members beyond the track are whole
    EXPECT_EQ(back.getAttribute("Color Palette"), o.getAttribute("Color Palette"));

    // A static object sends only its newest node even with the full-track flag.
    Object s = sample(8, 4, true, "Static");
    Object sback;
    std::vector<unsigned char> sb = encode(s);
    ASSERT_EQ(sback.fromBin(sb.data(), sb.size()), sb.size());
    EXPECT_TRUE(sback.historySize() == 1 && sback.isFullTrack());
    EXPECT_LT(sb.size(), encode(sample(8, 4, true)).size());

    // An empty history travels as one placeholder node and reads back empty.
    Object empty("Moving", ElapsedTime(15000));
    std::vector<unsigned char> eb = encode(empty);
    Object eback;
    ASSERT_EQ(eback.fromBin(eb.data(), eb.size()), eb.size());
    EXPECT_TRUE(eback.historySize() == 0 && eback == empty);
}

TEST(ObjectBinary, ReaderAccumulatesNewestOnlyHistory) {
    Object writer = tracked(3), reader;
    for (int i = 0; i < 6; ++i) {
        writer.insert(Box(i, i, 5, 5), ids(), at(i));
        std::vector<unsigned char> b = encode(writer);
        ASSERT_EQ(reader.fromBin(b.data(), b.size()), b.size());
    }
    EXPECT_TRUE(reader.historySize() == 6 && reader.getHistory().begin()->first == at(0));

    // A full track empties the reader's history first; the window grows to the track's duration.
    Object longTrack("Moving", ElapsedTime(30000));
    for (int i = 0; i <= 20; ++i) longTrack.insert(Box(1, 1, 1, 1), ids(), at(100 + i));
    longTrack.setFullTrack(true);
    std::vector<unsigned char> lb = encode(longTrack);
    ASSERT_EQ(reader.fromBin(lb.data(), lb.size()), lb.size());
    EXPECT_TRUE(reader.historySize() == 21 && reader.getWindow() == ElapsedTime(20000));
    EXPECT_EQ(reader.getHistory().begin()->first, at(100));
}

TEST(ObjectBinary, RefusesTruncatedAndInconsistentInput) {
    const Object original = sample(5, 3, true);
    std::vector<unsigned char> b = encode(sample(9, 4, true));
    for (unsigned n = 0; n < b.size(); ++n) {
        Object o = original;
        EXPECT_THROW(o.fromBin(b.data(), n), kttl::Exception) << n;
        EXPECT_TRUE(o == original) << n;
    }
    // A track record of the wrong type (the duration's id changed to a string's).
    std::vector<unsigned char> bad = b;
    bad[9] = 0xF5;  // first record's type id, low byte: 501
    bad[10] = 0x01;
    Object o = original;
    try {
        o.fromBin(bad.data(), bad.size());
        FAIL() << "a wrong record type must be refused";
    } catch (const kttl::Exception& e) {
        EXPECT_STREQ(e.what(), "ktsl::Serializable::fromBin() - Failed!");
    }
    EXPECT_TRUE(o == original);
    // A track length pointing past the input.
    bad = b;
    bad[5] = bad[6] = bad[7] = bad[8] = 0xFF;
    EXPECT_THROW(o.fromBin(bad.data(), bad.size()), kttl::Exception);
    EXPECT_TRUE(o == original);
}

TEST(ObjectBinary, ObjectMapRoundTrips) {
    ObjectMap m;
    m.addObject(sample(1, 3, true));
    m.addObject(sample(2, 2, false, "Static"));
    m.addObject(Object());
    std::vector<unsigned char> b = encode(m);
    ObjectMap back;
    ASSERT_EQ(back.fromBin(b.data(), b.size()), b.size());
    ASSERT_EQ(back.size(), 3u);
    EXPECT_TRUE(*back.findObject(1) == *m.findObject(1) && *back.findObject(0) == *m.findObject(0));
    const Object* two = back.findObject(2);
    EXPECT_TRUE(two->historySize() == 1 && two->getState() == "Static" && two->getTrackStatus() == 3);

    for (unsigned n = 0; n < b.size(); n += 7) {
        EXPECT_THROW(back.fromBin(b.data(), n), kttl::Exception) << n;
        EXPECT_EQ(back.size(), 3u);
    }
}

TEST(ObjectBinary, FuzzDecodeNeverCrashesAndEncodeDecodeIsIdentity) {
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    for (int round = 0; round < 200; ++round) {
        Object o(pick(0, 1) ? "Moving" : "Static", ElapsedTime(pick(1, 20) * 1000));
        o.setId(static_cast<uint32_t>(pick(0, 1 << 30)));
        const int nodes = pick(0, 6);
        for (int i = 0; i < nodes; ++i) {
            ktsl::List<kttl::Integer> merged;
            for (int k = pick(0, 2); k > 0; --k) merged.push_back(kttl::Integer(pick(-5, 500)));
            o.insert(Box(pick(-50, 700), pick(-50, 500), pick(0, 300), pick(0, 300)), merged,
                     at(pick(0, 30000) / 1000.0));
        }
        o.setFullTrack(pick(0, 1));
        o.setVelocity(pick(-100, 100) / 8.0f, pick(-100, 100) / 8.0f);
        o.setTrackStatus(pick(-1, 5));
        if (pick(0, 1))
            o.getClassConfidences()["c" + std::to_string(pick(0, 9))] = pick(0, 100) / 100.0;
        if (pick(0, 1))
            o.setClassRegion("r", Box(pick(0, 9), pick(0, 9), pick(0, 9), pick(0, 9)));
        if (pick(0, 1))
            o.setAttribute("a" + std::to_string(pick(0, 3)), std::string(pick(0, 5), 'x'));
        ktml::ColorHistogram h(1u << pick(0, 3), 1u << pick(0, 3), 1u << pick(0, 3));
        for (int k = pick(0, 5); k > 0; --k) h.addColor(pick(0, 255), pick(0, 255), pick(0, 255), pick(1, 9));
        o.setHistogram(h);

        std::vector<unsigned char> b = encode(o);
        Object back;
        ASSERT_EQ(back.fromBin(b.data(), b.size()), b.size());
        std::vector<unsigned char> again = encode(back);
        if (o.isFullTrack() && !o.isStatic()) {
            ASSERT_EQ(again, b) << round;  // the whole object travels: the same bytes come back
        } else {
            // Newest-only: the duration still describes the sender's whole history, so the bytes
            // settle after one generation.
            Object third;
            ASSERT_EQ(third.fromBin(again.data(), again.size()), again.size());
            ASSERT_EQ(encode(third), again) << round;
            ASSERT_EQ(back.historySize(), o.getHistory().empty() ? 0u : 1u);
        }

        // Mutated copies: each either decodes or is refused with the library exception.
        for (int m = 0; m < 20; ++m) {
            std::vector<unsigned char> x = b;
            for (int k = pick(1, 4); k > 0; --k)
                x[pick(0, int(x.size()) - 1)] = static_cast<unsigned char>(pick(0, 255));
            x.resize(pick(0, 1) ? x.size() : pick(0, int(x.size())));
            Object y;
            try {
                unsigned used = y.fromBin(x.data(), static_cast<unsigned>(x.size()));
                EXPECT_LE(used, x.size());
            } catch (const kttl::Exception&) {
            }
        }
    }
    // Random bytes.
    for (int round = 0; round < 2000; ++round) {
        std::vector<unsigned char> x(pick(0, 200));
        for (auto& c : x) c = static_cast<unsigned char>(pick(0, 255));
        Object y;
        ObjectMap z;
        try {
            EXPECT_LE(y.fromBin(x.data(), static_cast<unsigned>(x.size())), x.size());
        } catch (const kttl::Exception&) {
        }
        try {
            EXPECT_LE(z.fromBin(x.data(), static_cast<unsigned>(x.size())), x.size());
        } catch (const kttl::Exception&) {
        }
    }
}
