#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestBytes.h"
#include "kttl_ConstSmartPtr.h"
#include "kttl_SmartArray.h"
#include "kttl_SmartPtr.h"

namespace {

// Counts the live instances, so a missed or a second delete shows.
struct Counted {
    static inline std::atomic<int> alive{0};
    int value;
    explicit Counted(int v = 0) : value(v) { ++alive; }
    virtual ~Counted() { --alive; }
};
struct Derived : Counted {
    std::string extra = "derived";
    Derived() : Counted(7) {}
};

}  // namespace

TEST(SmartPtr, SharesAndDeletesOnce) {
    {
        kttl::SmartPtr<Counted> a(new Counted(3));
        kttl::SmartPtr<Counted> b = a;
        EXPECT_TRUE(a.getRefCount() == 2 && b->value == 3);
        kttl::SmartPtr<Counted> c(std::move(b));
        a.reset();
        const kttl::SmartPtr<Counted>& same = c;  // through a reference, as aliasing code reaches it
        c = same;  // self-assignment keeps the object
        EXPECT_TRUE(b.isNull() && c.getRefCount() == 1 && Counted::alive == 1 && (*c).value == 3);
    }
    EXPECT_EQ(Counted::alive, 0);

    // Converted to its base and cast back, the object is deleted as what it is.
    kttl::SmartPtr<Counted> base(new Derived);
    EXPECT_EQ(base.dynamicCast<Derived>()->extra, "derived");
    EXPECT_TRUE(kttl::SmartPtr<Counted>(new Counted).dynamicCast<Derived>().isNull());
    kttl::ConstSmartPtr<Counted> ro = base;
    EXPECT_TRUE(ro.getRefCount() == 2 && ro->value == 7);
    base.reset();
    EXPECT_EQ(Counted::alive, 1);
    ro.reset();
    EXPECT_TRUE(Counted::alive == 0 && kttl::SmartPtr<int>() == nullptr);
}

TEST(SmartPtr, EmptyPointersThrowTheirMessages) {
    kttl::SmartPtr<Counted> p;
    kttl::ConstSmartPtr<Counted> c;
    kttl::SmartArray<int> a, three(3);
    const std::string null = " - pointer is NULL!", range = " - index out of range!";
    const struct { std::function<void()> f; std::string type, text; } cases[] = {
        {[&] { (void)p->value; }, "SmartPtr", "operator->()" + null},
        {[&] { (void)*p; }, "SmartPtr", "operator*()" + null},
        {[&] { (void)c->value; }, "ConstSmartPtr", "operator->()" + null},
        {[&] { (void)*c; }, "ConstSmartPtr", "operator*()" + null},
        {[&] { (void)a[0]; }, "SmartArray", "operator[]()" + null},
        {[&] { (void)three[3]; }, "SmartArray", "operator[]()" + range},
    };
    for (const auto& k : cases)
        expectThrowMessage(k.f, "misc/kttl_" + k.type, "kttl::" + k.type + "::" + k.text);
}

TEST(SmartArray, ZeroedElementsSharedStorage) {
    kttl::SmartArray<int> a(4);
    EXPECT_EQ(a[0] + a[1] + a[2] + a[3], 0);
    kttl::SmartArray<int> b = a;
    b[2] = 9;
    EXPECT_TRUE(a[2] == 9 && a.getRefCount() == 2 && kttl::SmartArray<int>(0).isNull());
    kttl::SmartArray<Counted>(new Counted[5], 5).reset();  // deleted as an array
    EXPECT_EQ(Counted::alive, 0);
}

TEST(SmartPtr, CountsStayExactAcrossThreads) {
    kttl::SmartPtr<Counted> shared(new Counted(1));
    kttl::SmartArray<int> arr(8);
    constexpr int kThreads = 4, kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                kttl::SmartPtr<Counted> copy = shared;
                kttl::ConstSmartPtr<Counted> ro = copy;
                kttl::SmartArray<int> a2 = arr;
                kttl::SmartPtr<Counted> moved = std::move(copy);
                (void)(moved->value + a2[0]);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_TRUE(shared.getRefCount() == 1 && arr.getRefCount() == 1 && Counted::alive == 1);

    // Last owners released on different threads: deleted exactly once.
    Counted* raw = new Counted(2);
    {
        kttl::SmartPtr<Counted> p(raw);
        std::vector<kttl::SmartPtr<Counted>> copies(kThreads, p);
        p.reset();
        threads.clear();
        for (auto& c : copies) threads.emplace_back([c = std::move(c)]() mutable { c.reset(); });
        for (auto& t : threads) t.join();
    }
    EXPECT_EQ(Counted::alive, 1);
}
