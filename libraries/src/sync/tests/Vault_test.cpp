// Vault grants: shared readers, exclusive recursive writers, bounded waits, misuse reports.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "../../misc/tests/TestBytes.h"
#include "SyncTestUtil.h"
#include "ktst_Event.h"
#include "ktst_Vault.h"

using ktst::ConstVault;
using ktst::Event;
using ktst::Vault;

TEST(Vault, ReadersShareAWriterIsRefusedAtOnceWhileAnyReads) {
    Vault<int> v(5);
    auto r1 = v.getReadPtr(0), r2 = v.getReadPtr(0);
    ASSERT_TRUE(r1 && r2);
    EXPECT_TRUE(*r1 + *r2 == 10 && v.outstanding() == 2);
    EXPECT_LT(elapsedMs([&] { EXPECT_TRUE(v.getWritePtr(0).isNull()); }), 1000u);
    EXPECT_TRUE(v.getWritePtr(20).isNull());  // readers still there at the time-out
    r1.reset();
    r2.reset();
    *v.getWritePtr(0) = 7;  // a null handle would throw
    EXPECT_EQ(*v.getReadPtr(0), 7);
    EXPECT_EQ(v.outstanding(), 0);  // the read handle above is gone

    // Null handles throw on dereference.
    ktst::VaultSafePointer<int> nw;
    ktst::ConstVaultSafePointer<int> nr;
    expectThrowMessage([&] { (void)*nw; }, "sync/ktst_Vault",
                       "ktst::VaultSafePointer::operator*() - Trying to dereference a NULL.");
    expectThrowMessage([&] { (void)nr.operator->(); }, "sync/ktst_Vault",
                       "ktst::ConstVaultSafePointer::operator->() - Trying to dereference a NULL.");
    EXPECT_THROW((void)nw.operator->(), kttl::Exception);
    EXPECT_THROW((void)*nr, kttl::Exception);
}

TEST(Vault, AWriterExcludesOtherThreadsButMayReenterOnItsOwn) {
    Vault<std::string> v("a");
    auto w = v.getWritePtr(0), again = v.getWritePtr(0);  // recursive
    ASSERT_TRUE(w && again);
    again->append("b");
    EXPECT_EQ(v.outstanding(), 2);
    std::thread([&] { EXPECT_TRUE(v.getReadPtr(0).isNull() && v.getWritePtr(10).isNull()); }).join();
    again.reset();
    w.reset();
    std::thread([&] { EXPECT_EQ(*v.getReadPtr(kLongMs), "ab"); }).join();
}

TEST(Vault, AWriterWaitsForAReaderOnAnotherThreadToLeave) {
    Vault<int> v(0);
    Event holding(true, false);
    std::atomic<bool> leaving{false};
    std::thread reader([&] {
        auto r = v.getReadPtr(kLongMs);
        holding.signal();
        ktst::Wait(10);  // the writer is waiting by now, or soon
        leaving = true;
    });
    ASSERT_TRUE(holding.wait(kLongMs));
    // Granted only once the reader leaves, and woken by that rather than by the end of the time-out.
    EXPECT_LT(elapsedMs([&] { EXPECT_TRUE(!v.getWritePtr(kLongMs).isNull() && leaving); }), kLongMs / 2);
    reader.join();
}

namespace held {
struct Payload { std::vector<int> values; };
}  // namespace held

TEST(Vault, DestroyedWhileHeldIsReportedAndTheHandlesStayValid) {
    auto stderrOf = [](auto&& f) {
        testing::internal::CaptureStderr();
        f();
        return testing::internal::GetCapturedStderr();
    };
    auto* v = new Vault<held::Payload>(held::Payload{{1, 2, 3}});
    auto r = v->getReadPtr(0);
    std::string err = stderrOf([&] { delete v; });
    EXPECT_NE(err.find("libraries/src/sync/ktst_Vault ("), std::string::npos) << err;
    EXPECT_NE(err.find("ktst::Vault::~Vault<held::Payload> - Not all locks released (1) before deleting vault."),
              std::string::npos) << err;
    // Under the address sanitizer these would be uses after free had the value gone with the vault.
    EXPECT_EQ(r->values[2], 3);

    auto* cv = new ConstVault<int>(4);
    auto c1 = cv->getReadPtr(0), c2 = cv->getReadPtr(0);
    err = stderrOf([&] { delete cv; });
    EXPECT_NE(err.find("~ConstVault<int> - Not all locks released (2) before deleting vault."),
              std::string::npos) << err;
    EXPECT_EQ(*c1 + *c2, 8);

    auto* wv = new Vault<int>(1);
    auto w = wv->getWritePtr(0);
    err = stderrOf([&] { delete wv; });
    EXPECT_NE(err.find("~Vault<int> - Not all locks released (1)"), std::string::npos) << err;
    *w = 2;
    EXPECT_EQ(stderrOf([] { Vault<int> quiet(1); auto g = quiet.getReadPtr(0); }), "");  // released: silent
}

TEST(Vault, ConcurrentWritersNeverTearAndReadersSeeConsistentValues) {
    struct Pair { long a = 0, b = 0; };
    Vault<Pair> v;
    std::atomic<int> torn{0}, failedGrants{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 5; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                if (t < 3) {  // writers
                    auto w = v.getWritePtr(kLongMs);
                    if (w) ++w->a, ++w->b;
                    failedGrants += !w;
                } else {
                    auto r = v.getReadPtr(kLongMs);
                    if (r) torn += r->a != r->b;
                    failedGrants += !r;
                }
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(torn == 0 && failedGrants == 0);
    EXPECT_EQ(v.getReadPtr(0)->a + v.getReadPtr(0)->b, 1800);
}
