// PluginPtr: shared counting across threads, one release by the last handle, interface queries and
// closing a plug-in's library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "../../misc/tests/TestBytes.h"
#include "ktpl_InterfaceIds.h"
#include "ktpl_PluginPtr.h"

namespace {

// Two interfaces, each its own Plugin base part, as a tracker that is also a video process.
struct First : ktpl::Plugin { int first = 1; };
struct Second : ktpl::Plugin { int second = 2; };
struct Both : First, Second {
    explicit Both(int& d) : destroyed(d) {}
    ~Both() override { ++destroyed; }
    bool supports(const char* iid, ktpl::Plugin** out) override {
        if (ktpl::isInterface(iid, ktpl::iid::Tracker)) *out = static_cast<First*>(this);
        else if (ktpl::isInterface(iid, ktpl::iid::VideoProcess)) *out = static_cast<Second*>(this);
        else return false;
        return true;
    }
    int& destroyed;
};

}  // namespace

TEST(PluginPtr, CopiesOnManyThreadsReleaseOnce) {
    int destroyed = 0;
    ktpl::PluginPtr<First> handle(new Both(destroyed));
    constexpr int kThreads = 4, kCopies = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([handle] {
            for (int i = 0; i < kCopies; ++i) {
                ktpl::PluginPtr<First> copy(handle);
                ktpl::PluginPtr<First> moved(std::move(copy));
                moved = handle;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_TRUE(handle.useCount() == 1u && destroyed == 0);
    ktpl::PluginPtr<First> last = handle;
    handle.reset();
    EXPECT_EQ(destroyed, 0);
    last.reset();
    last.reset();
    EXPECT_EQ(destroyed, 1);
}

TEST(PluginPtr, InterfaceQueriesShareTheCount) {
    int destroyed = 0;
    {
        ktpl::PluginPtr<First> tracker(new Both(destroyed));
        ktpl::PluginPtr<Second> process = tracker.query<Second>("{fc85e573-5ef9-4D3C-8c07-d9068ee85954}");
        ASSERT_TRUE(process);
        EXPECT_TRUE(process->second == 2 && tracker.useCount() == 2u);
        EXPECT_FALSE(tracker.query<Second>(ktpl::iid::Schemes));
        tracker.reset();
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1) << "released through the second interface's base part";

    ktpl::PluginPtr<First> empty;
    ktpl::Plugin* out = nullptr;
    expectThrowMessage([&] { empty.supports(ktpl::iid::Tracker, &out); }, "plugin/ktpl_PluginPtr",
                       "): ktpl::PluginPtr::supports() - pointer is NULL!");
    EXPECT_THROW(empty.query<Second>(ktpl::iid::Tracker), kttl::Exception);
}

// The last handle closes the library only after the plug-in's code has released it.
TEST(PluginPtr, LastHandleClosesThePluginLibrary) {
    void* library = dlopen(KT_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using Create = ktpl::Plugin* (*)(int*);
    auto create = reinterpret_cast<Create>(dlsym(library, "kt_create_test_plugin"));
    ASSERT_NE(create, nullptr);
    int released = 0;
    {
        ktpl::PluginPtr<ktpl::Plugin> handle(create(&released), library);
        ktpl::PluginPtr<ktpl::Plugin> process = handle.query<ktpl::Plugin>(ktpl::iid::VideoProcess);
        ASSERT_TRUE(process && process.library() == library);
        handle.reset();
        // Still loaded while a handle lives; the probe takes a reference of its own.
        EXPECT_NE(dlopen(KT_TEST_PLUGIN, RTLD_NOW | RTLD_NOLOAD), nullptr);
        dlclose(library);
    }
    EXPECT_EQ(released, 1);
    EXPECT_EQ(dlopen(KT_TEST_PLUGIN, RTLD_NOW | RTLD_NOLOAD), nullptr) << "closed with the last handle";
}
