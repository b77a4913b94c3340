// Reading hostile object maps: a record of many small objects whose histograms declare the largest
// bin count must cost memory in proportion to its bytes, and still read back exactly.
#include "ObjectMap.h"

#include <gtest/gtest.h>

#include "../../../../libraries/src/misc/tests/AllocCounter.h"
#include "../../../../libraries/src/misc/tests/TestBytes.h"

namespace {

// Held memory a read may reach, as a multiple of its input. An object with its history queue, maps
// and strings is a few hundred bytes of structure for about 150 bytes of form.
constexpr long kMaxReadExpansion = 16;

TEST(ObjectMapRead, EmptyWideHistogramsCostNoMoreThanTheirBytes) {
    Object small;
    small.setHistogram(ktml::ColorHistogram(64, 32, 32));  // 65536 empty bins
    ObjectMap map;
    for (unsigned id = 1; id <= 4000; ++id) {
        small.setId(id);
        map.addObject(small);
    }
    const Bytes bytes = binOf(map);
    ASSERT_LT(bytes.size(), 300u * 4000);  // each histogram is a 20-byte header

    const long before = alloc_counter::heldBytes();
    alloc_counter::resetPeak();
    {
        ObjectMap back;
        ASSERT_EQ(readBin(back, bytes), bytes.size());
        EXPECT_TRUE(back.size() == 4000u && binOf(back) == bytes);  // reading stays exact
        const ktml::ColorHistogram& h = back.findObject(4000)->getHistogram();
        EXPECT_TRUE(h.binCount() == 65536 && h.getTotal() == 0 && h.bits(0) == 6);
        if (KT_ALLOC_COUNTING) {
            const long peak = alloc_counter::peakBytes() - before;
            std::printf("ObjectMap of 4000 objects: %zu bytes read, %ld bytes held at the peak\n", bytes.size(), peak);
            EXPECT_LT(peak, kMaxReadExpansion * static_cast<long>(bytes.size()));
        }
    }
}

}  // namespace
