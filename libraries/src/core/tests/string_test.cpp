// String helpers, the thread identifier and the tick count.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
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

TEST(String, DupAndBoundedCopy) {
    char* d = kt_strdup("camera");
    ASSERT_NE(nullptr, d);
    EXPECT_STREQ("camera", d);
    std::free(d);
    EXPECT_EQ(nullptr, kt_strdup(nullptr));

    char buf[8];
    std::memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(buf, kt_strcpy(buf, sizeof(buf), "abc"));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ('\0', buf[7]);
    kt_strcpy(buf, sizeof(buf), "0123456789");  // truncated, always terminated
    EXPECT_STREQ("0123456", buf);
    kt_strcpy(buf, 1, "abc");
    EXPECT_STREQ("", buf);
    buf[0] = 'q';
    EXPECT_EQ(nullptr, kt_strcpy(buf, 0, "abc"));
    EXPECT_EQ('q', buf[0]);
    EXPECT_EQ(nullptr, kt_strcpy(nullptr, 4, "abc"));
    EXPECT_EQ(nullptr, kt_strcpy(buf, 4, nullptr));
}

TEST(String, CaseHelpers) {
    EXPECT_EQ(0, kt_stricmp("Zone", "zONE"));
    EXPECT_LT(kt_stricmp("abc", "ABD"), 0);
    EXPECT_GT(kt_stricmp("abcd", "ABC"), 0);
    EXPECT_LT(kt_stricmp(nullptr, "a"), 0);
    EXPECT_EQ(0, kt_stricmp(nullptr, nullptr));
    char text[] = "Hello, World 42";
    EXPECT_STREQ("hello, world 42", kt_strlwr(text));
    EXPECT_STREQ("HELLO, WORLD 42", kt_strupr(text));
    EXPECT_EQ(nullptr, kt_strlwr(nullptr));
}

TEST(String, FormattedLength) {
    EXPECT_EQ(0, measure(""));
    EXPECT_EQ(11, measure("%dx%d-%s", 640, 480, "abc"));
    EXPECT_EQ(int(std::strlen("kt_init_image(...)")), measure("%s(...)", "kt_init_image"));
    EXPECT_EQ(-1, measure(nullptr));
}

TEST(String, Atoi64ParsesSignsAndSaturates) {
    const struct {
        const char* text;
        int64_t value;
    } cases[] = {
        {"0", 0},
        {"  42abc", 42},
        {"-17", -17},
        {"+9", 9},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"-99999999999999999999999", INT64_MIN},
        {"12345678901234", 12345678901234LL},
        {"abc", 0},
        {"", 0},
        {"-", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.value, kt_atoi64(c.text)) << c.text;
    EXPECT_EQ(0, kt_atoi64(nullptr));
}

TEST(System, ThreadIdsDifferBetweenThreads) {
    const uint32_t main_id = kt_get_threadid();
    EXPECT_EQ(uint32_t(getpid()), main_id);  // the main thread's id is the process id
    uint32_t other = main_id;
    std::thread t([&] { other = kt_get_threadid(); });
    t.join();
    EXPECT_NE(main_id, other);
    EXPECT_NE(0u, other);
}

TEST(System, TickCountAdvancesInMilliseconds) {
    const uint32_t a = kt_tickcount();
    usleep(30000);
    const uint32_t b = kt_tickcount();
    EXPECT_GE(uint32_t(b - a), 25u);
    EXPECT_LT(uint32_t(b - a), 5000u);
    EXPECT_LT(uint32_t(kt_tickcount() - gettickcount()), 1000u);  // the same clock
}

}  // namespace
