// String helpers, the thread identifier and the tick count.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <thread>

#include "kt_string.h"
#include "kt_thread_id.h"
#include "kt_tick.h"

namespace {

int measure(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const int n = kt_vscprintf(fmt, ap);
    va_end(ap);
    return n;
}

TEST(String, BoundedCopyCaseAndFormattedLength) {
    char buf[8];
    std::memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(buf, kt_strcpy(buf, sizeof(buf), "0123456789"));  // truncated, always terminated
    EXPECT_STREQ("0123456", buf);
    EXPECT_STREQ("", kt_strcpy(buf, 1, "abc"));
    EXPECT_EQ(nullptr, kt_strcpy(buf, 0, "abc"));
    EXPECT_TRUE(kt_stricmp("Zone", "zONE") == 0 && kt_stricmp("abc", "ABD") < 0 &&
                kt_stricmp("abcd", "ABC") > 0);
    EXPECT_LT(kt_stricmp(nullptr, "a"), 0);
    EXPECT_EQ(11, measure("%dx%d-%s", 640, 480, "abc"));
    EXPECT_EQ(-1, measure(nullptr));
}

TEST(String, Atoi64ParsesSignsAndSaturates) {
    const struct { const char* text; int64_t value; } cases[] = {
        {"  42abc", 42}, {"-17", -17}, {"+9", 9}, {"abc", 0}, {"-", 0},
        {"9223372036854775807", INT64_MAX}, {"9223372036854775808", INT64_MAX},
        {"-9223372036854775808", INT64_MIN}, {"-99999999999999999999999", INT64_MIN}};
    for (const auto& c : cases) EXPECT_EQ(c.value, kt_atoi64(c.text)) << c.text;
}

TEST(System, ThreadIdsAndTicks) {
    const uint32_t main_id = kt_get_threadid();
    EXPECT_EQ(uint32_t(getpid()), main_id);  // the main thread's id is the process id
    uint32_t other = main_id;
    std::thread([&] { other = kt_get_threadid(); }).join();
    EXPECT_NE(main_id, other);

    const uint32_t a = kt_tickcount();
    usleep(30000);
    const uint32_t elapsed = kt_tickcount() - a;
    EXPECT_TRUE(elapsed >= 25u && elapsed < 5000u) << elapsed;
    EXPECT_LT(uint32_t(kt_tickcount() - gettickcount()), 1000u);  // the same clock
}

}  // namespace
