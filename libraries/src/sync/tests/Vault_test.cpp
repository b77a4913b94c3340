// Vault grants: shared readers, exclusive recursive writers, bounded waits, misuse reports.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kt_tick.h"
#include "kttl_Exception.h"
#include "ktst_Event.h"
#include "ktst_Vault.h"
#include "ktst_Wait.h"

using ktst::ConstVault;
using ktst::Event;
using ktst::Vault;

constexpr uint32_t kLongMs = 10000;

TEST(Vault, ReadersShareAWriterIsRefusedAtOnceWhileAnyReads) {
    Vault<int> v(5);
    auto r1 = v.getReadPtr(0);
    auto r2 = v.getReadPtr(0);
    ASSERT_TRUE(r1 && r2);
    EXPECT_EQ(*r1 + *r2, 10);
    EXPECT_EQ(v.outstanding(), 2);

    const uint32_t start = kt_tickcount();
    EXPECT_TRUE(v.getWritePtr(0).isNull());
    EXPECT_LT(kt_tickcount() - start, 1000u);
    EXPECT_TRUE(v.getWritePtr(20).isNull());  // readers still there at the time-out

    r1.reset();
    r2.reset();
    auto w = v.getWritePtr(0);
    ASSERT_FALSE(w.isNull());
    *w = 7;
    w.reset();
    EXPECT_EQ(*v.getReadPtr(0), 7);
    EXPECT_EQ(v.outstanding(), 0);
}

TEST(Vault, AWriterExcludesOtherThreadsButMayReenterOnItsOwn) {
    Vault<std::string> v("a");
    auto w = v.getWritePtr(0);
    ASSERT_TRUE(w);
    auto again = v.getWritePtr(0);  // recursive
    ASSERT_TRUE(again);
    again->append("b");
    EXPECT_EQ(v.outstanding(), 2);
    std::thread other([&] {
        EXPECT_TRUE(v.getReadPtr(0).isNull());
        EXPECT_TRUE(v.getWritePtr(10).isNull());
    });
    other.join();
    again.reset();
    w.reset();
    std::thread reader([&] {
        auto r = v.getReadPtr(kLongMs);
        ASSERT_TRUE(r);
        EXPECT_EQ(*r, "ab");
    });
    reader.join();
}

TEST(Vault, AWriterWaitsForAReaderOnAnotherThreadToLeave) {
    Vault<int> v(0);
    Event holding(true, false), leave(true, false);
    std::thread reader([&] {
        auto r = v.getReadPtr(kLongMs);
        holding.signal();
        leave.wait(kLongMs);
    });
    ASSERT_TRUE(holding.wait(kLongMs));
    std::thread releaser([&] {
        ktst::Wait(10);
        leave.signal();
    });
    auto w = v.getWritePtr(kLongMs);
    EXPECT_FALSE(w.isNull());
    w.reset();
    releaser.join();
    reader.join();
}

TEST(Vault, NullHandlesThrowOnDereference) {
    ktst::VaultSafePointer<int> w;
    ktst::ConstVaultSafePointer<int> r;
    auto expectThrow = [](auto&& f, const char* text) {
        try {
            f();
            ADD_FAILURE() << "no exception for " << text;
        } catch (const kttl::Exception& e) {
            EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
        }
    };
    expectThrow([&] { (void)*w; }, "operator*() - Trying to dereference a NULL.");
    expectThrow([&] { (void)w.operator->(); }, "operator->() - Trying to dereference a NULL.");
    expectThrow([&] { (void)*r; }, "operator*() - Trying to dereference a NULL.");
    expectThrow([&] { (void)r.operator->(); }, "operator->() - Trying to dereference a NULL.");
}

namespace held {
struct Payload {
    std::vector<int> values;
};
}  // namespace held

TEST(Vault, DestroyedWhileHeldIsReportedAndTheHandlesStayValid) {
    auto* v = new Vault<held::Payload>(held::Payload{{1, 2, 3}});
    auto r = v->getReadPtr(0);
    testing::internal::CaptureStderr();
    delete v;
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ktst::Vault::~Vault<held::Payload> - Not all locks released (1) before deleting vault."),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("libraries/src/sync/ktst_Vault ("), std::string::npos) << err;
    // Under the address sanitizer this would be a use after free if the value had gone with the vault.
    EXPECT_EQ(r->values[2], 3);
    r.reset();

    auto* cv = new ConstVault<int>(4);
    auto c1 = cv->getReadPtr(0);
    auto c2 = cv->getReadPtr(0);
    testing::internal::CaptureStderr();
    delete cv;
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("~ConstVault<int> - Not all locks released (2) before deleting vault."), std::string::npos)
        << err;
    EXPECT_EQ(*c1 + *c2, 8);

    auto* wv = new Vault<int>(1);
    auto w = wv->getWritePtr(0);
    testing::internal::CaptureStderr();
    delete wv;
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("~Vault<int> - Not all locks released (1)"), std::string::npos) << err;
    *w = 2;
    EXPECT_EQ(*w, 2);

    // Released vaults say nothing.
    testing::internal::CaptureStderr();
    { Vault<int> quiet(1); auto g = quiet.getReadPtr(0); }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Vault, ConcurrentWritersNeverTearAndReadersSeeConsistentValues) {
    struct Pair {
        long a = 0, b = 0;
    };
    Vault<Pair> v;
    std::atomic<bool> torn{false};
    std::atomic<int> failedGrants{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                auto w = v.getWritePtr(kLongMs);
                if (!w) {
                    ++failedGrants;
                    continue;
                }
                ++w->a;
                ++w->b;
            }
        });
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                auto r = v.getReadPtr(kLongMs);
                if (!r) {
                    ++failedGrants;
                    continue;
                }
                if (r->a != r->b) torn = true;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_FALSE(torn);
    EXPECT_EQ(failedGrants, 0);
    auto r = v.getReadPtr(0);
    EXPECT_EQ(r->a, 900);
    EXPECT_EQ(r->b, 900);
}
