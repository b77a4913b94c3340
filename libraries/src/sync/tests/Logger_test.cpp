// The logger with real threads: queueing, line format, overflow, truncation, flush and the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "LogInterface.h"
#include "SyncTestUtil.h"
#include "kttl_FileLogger.h"
#include "kttl_LogMsgQueue.h"
#include "kttl_Logger.h"
#include "ktst_Event.h"

using kttl::ElapsedTime, kttl::LogType, kttl::String;

// Keeps every output line; can hold the pump inside output() until released.
class RecordingLogger : public kttl::Logger {
public:
    explicit RecordingLogger(const String& timeFormat = String()) : kttl::Logger(timeFormat) {}
    ~RecordingLogger() override { release.signal(); stop(kLong); }
    bool output(const LogType&, const String& line) override {
        entered.signal();
        if (hold) release.wait(kLongMs);
        std::lock_guard<std::mutex> lock(m);
        return lines.push_back(line), true;
    }
    std::vector<std::string> taken() { std::lock_guard<std::mutex> lock(m); return lines; }
    std::atomic<bool> hold{false};
    ktst::Event entered{false, false}, release{true, false};
    std::mutex m;  // guards lines
    std::vector<std::string> lines;
};

// A file name of this process's own, removed at the end.
struct TempFile {
    const std::string path = "/tmp/kt_logger_" + std::to_string(getpid());
    ~TempFile() { std::remove(path.c_str()); }
    std::string read() const { std::ostringstream s; s << std::ifstream(path).rdbuf(); return s.str(); }
};

TEST(Logger, LinesGetOneLineEndAPaddedLabelAreCutToTheRecordAndOutsideARunGoToStandardError) {
    RecordingLogger log;
    struct Component : LogInterface {} c, silent;  // forwards to its logger; without one: silent
    testing::internal::CaptureStderr();
    EXPECT_FALSE(log.log(kttl::WARN, String("early")) || silent.log(kttl::ERR, String("nobody listens")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARN early\n");

    ASSERT_TRUE(log.start());
    const std::pair<LogType, std::string> before[] = {
        {kttl::INFO, "plain"}, {kttl::ERR, "ended\n"}, {kttl::CRIT, ""}, {static_cast<LogType>(7), "odd level"}};
    for (const auto& l : before) EXPECT_TRUE(log.log(l.first, String(l.second))) << l.second;
    EXPECT_TRUE(log.log(kttl::WARN, "%d items in %s", 3, "queue") && log.log(kttl::STAT, String("two\n\n")) &&
                log.log(kttl::INFO, String(std::string(2000, 'z'))));
    c.setLogger(&log);
    ASSERT_TRUE(c.log(kttl::WARN, String("heard")) && log.log(kttl::INFO, String("queued")));
    EXPECT_TRUE(log.stop(kLong));  // writes out what is queued
    EXPECT_EQ(log.taken(), (std::vector<std::string>{"INFO plain\n", "ERR  ended\n", "CRIT \n", "     odd level\n",
                                                     "WARN 3 items in queue\n", "STAT two\n\n",
                                                     "INFO " + std::string(1015, 'z') + "...", "WARN heard\n",
                                                     "INFO queued\n"}));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(log.log(kttl::ERR, "late %d", 1) || log.flush());
    EXPECT_TRUE(testing::internal::GetCapturedStderr() == "ERR  late 1\n" && log.taken().size() == 9u);

    RecordingLogger timed(kttl::FileLogger::TIME_FORMAT);
    ASSERT_TRUE(timed.start() && timed.log(kttl::INFO, String("hello")) && timed.flush() && timed.taken().size() == 1u);
    const std::string line = timed.taken()[0], shape = "##:##:##.### ##-##-## INFO hello\n";  // '#': a digit
    auto fits = [](char s, char c) { return s == '#' ? c >= '0' && c <= '9' : s == c; };
    EXPECT_TRUE(line.size() == shape.size() && std::equal(shape.begin(), shape.end(), line.begin(), fits)) << line;
}

TEST(Logger, The101stUnreadLineDropsTheOldest) {
    RecordingLogger log;
    log.hold = true;
    ASSERT_TRUE(log.start());
    ASSERT_TRUE(log.log(kttl::INFO, String("line 0")) && log.entered.wait(kLongMs));  // in flight, still queued
    for (int i = 1; i <= 101; ++i) log.log(kttl::INFO, "line %d", i);
    EXPECT_EQ(log.queue().size(), 100u);
    log.hold = false, log.release.signal();
    ASSERT_TRUE(log.flush());
    // Line 0 was in flight; lines 0 and 1 were dropped from the queue by lines 100 and 101.
    std::vector<std::string> expected{"INFO line 0\n"};
    for (int i = 2; i <= 101; ++i) expected.push_back("INFO line " + std::to_string(i) + "\n");
    EXPECT_EQ(log.taken(), expected);
}

TEST(LogMsgQueue, PopExpectedRemovesOnlyAMatchingOldestLineAndLongLinesAreCut) {
    kttl::LogMsgQueue q(2);
    for (const char* m : {"m1", "m2", "m3"}) ASSERT_TRUE(q.push(kttl::INFO, m));
    EXPECT_TRUE(q.pop(kttl::LogMsgPtr(kttl::INFO, "m1")) && q.size() == 2u);  // dropped by the overflow meanwhile
    EXPECT_TRUE(q.pop(kttl::LogMsgPtr(kttl::INFO, "m2")) && std::string(q.pop().text) == "m3");
    EXPECT_TRUE(q.peek() == kttl::LogMsgPtr() && q.peek().type == kttl::ERR);  // the empty record: no text
    for (size_t n : {1023u, 1024u}) {  // both sides of the 1023-character limit
        const std::string t = q.push(kttl::INFO, std::string(n, 'y')) ? q.pop().text : "";
        EXPECT_TRUE(t.size() == 1023u && (t.substr(1020) == "...") == (n > 1023)) << n;
    }
}

TEST(Logger, LinesFromManyThreadsArriveWholeAndInEachThreadsOrder) {
    RecordingLogger log;
    ASSERT_TRUE(log.start());
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t)
        producers.emplace_back([&log, t] {
            for (int i = 0; i < 40; ++i) {
                log.log(kttl::INFO, "t%d n%d", t, i);
                if (i % 10 == 9) log.flush();  // keeps the queue below its 100 lines
            }
        });
    for (auto& p : producers) p.join();
    ASSERT_TRUE(log.flush() && log.taken().size() == 160u) << log.taken().size();
    int last[4] = {-1, -1, -1, -1};
    for (const std::string& l : log.taken()) {
        int t = -1, n = -1;
        ASSERT_TRUE(std::sscanf(l.c_str(), "INFO t%d n%d", &t, &n) == 2 && t >= 0 && t < 4) << l;
        EXPECT_GT(n, std::exchange(last[t], n));
    }
}

TEST(FileLogger, AppendsBelowTheMaximumRestartsAtItCreatesMissingFilesAndSkipsUnopenableOnes) {
    TempFile f;
    const int32_t max = kttl::FileLogger::DEFAULT_MAX_SIZE;
    for (long prefill : {max - 1L, long(max), max + 10L}) {
        std::ofstream(f.path, std::ios::trunc) << std::string(static_cast<size_t>(prefill), '#');
        kttl::FileLogger log(f.path.c_str());
        testing::internal::CaptureStdout();
        ASSERT_TRUE(log.start() && log.log(kttl::INFO, String("next line")) && log.flush());
        const std::string line = testing::internal::GetCapturedStdout();  // the same line goes to the file
        EXPECT_NE(line.find(" INFO next line\n"), std::string::npos) << line;
        EXPECT_EQ(f.read(), (prefill < max ? std::string(size_t(prefill), '#') : "") + line) << prefill;
        EXPECT_TRUE(log.stop(kLong));
    }

    std::remove(f.path.c_str());
    {
        kttl::FileLogger log(f.path.c_str(), 4096);
        ASSERT_TRUE(log.start());
        for (const char* l : {"first", "second"}) log.log(kttl::STAT, String(l));
        testing::internal::CaptureStdout();  // the destructor writes out the queue before the thread ends
    }
    testing::internal::GetCapturedStdout();
    const std::string content = f.read();
    EXPECT_TRUE(content.find("STAT first\n") < content.find("STAT second\n") &&
                content.find("STAT second\n") != std::string::npos) << content;

    kttl::FileLogger nowhere("/nonexistent-dir/kt.log", 100);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(nowhere.output(kttl::ERR, String("still shown\n")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "still shown\n");
}
