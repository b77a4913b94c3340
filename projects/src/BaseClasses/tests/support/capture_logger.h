// capture_logger: a running logger whose lines the test can read back.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "kttl_Logger.h"

class CaptureLogger : public kttl::Logger {
  public:
    CaptureLogger() : kttl::Logger("") { start(); }
    ~CaptureLogger() override { stop(kttl::ElapsedTime(5000)); }

    bool output(const kttl::LogType&, const kttl::String& line) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string text = line;
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        m_lines.push_back(text);
        return true;
    }
    // Every line written so far ("INFO message", level label padded to four), after a flush.
    std::vector<std::string> lines() {
        flush(5000);
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool has(const std::string& line) {
        const std::vector<std::string> all = lines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
    void clearLines() {
        flush(5000);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

  private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};
