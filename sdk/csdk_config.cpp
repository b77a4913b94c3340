// csdk_config: reading the stand-in SDK's environment settings (sources, resolutions, schedules).
#include "csdk_config.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace csdk_standin {

const char* const kDefaultResolutions = "176x144,320x240,352x288,640x360,640x480,704x576,1280x720,1920x1080";

namespace {

// Largest frame side the stand-in accepts; keeps width x height x 3/2 far inside 32 bits.
const long long kMaxSide = 8192;

std::vector<std::string> split(const std::string& text, const char* separators) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : text) {
        if (std::strchr(separators, c) != nullptr) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

}  // namespace

bool parseInteger(const char* text, long long min, long long max, long long& out) {
    if (text == nullptr || *text == '\0') return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
    out = v;
    return true;
}

bool parseFps(const char* text, double& out) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v) || v < 0.0 || v > 1000.0) return false;
    out = v;
    return true;
}

bool parseResolutions(const char* text, std::vector<Size>& out, std::string& error) {
    if (text == nullptr) text = kDefaultResolutions;
    std::vector<Size> sizes;
    for (const std::string& raw : split(text, ",")) {
        std::string entry = trim(raw);
        size_t x = entry.find_first_of("xX");
        long long w = 0, h = 0;
        if (x == std::string::npos || !parseInteger(entry.substr(0, x).c_str(), 2, kMaxSide, w) ||
            !parseInteger(entry.substr(x + 1).c_str(), 2, kMaxSide, h) || (w % 2) != 0 || (h % 2) != 0) {
            error = "bad resolution '" + entry + "' (want WxH, even, 2..8192)";
            return false;
        }
        sizes.push_back(Size{static_cast<int32_t>(w), static_cast<int32_t>(h)});
    }
    out = sizes;
    return true;
}

bool parseDurationMs(const std::string& text, uint32_t& ms) {
    std::string t = trim(text);
    double scale = 1000.0;
    if (t.size() > 2 && t.compare(t.size() - 2, 2, "ms") == 0) {
        scale = 1.0;
        t.resize(t.size() - 2);
    } else if (!t.empty() && t.back() == 's') {
        t.pop_back();
    } else if (!t.empty() && t.back() == 'm') {
        scale = 60000.0;
        t.pop_back();
    }
    if (t.empty()) return false;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(v) || v < 0.0) return false;
    double total = v * scale;
    if (total > 4.2e9) return false;
    ms = static_cast<uint32_t>(total + 0.5);
    return true;
}

bool parseDayNight(const char* text, std::vector<DayNightStep>& out, std::string& error) {
    std::vector<DayNightStep> steps;
    for (const std::string& raw : split(text == nullptr ? "day" : text, ",")) {
        std::string entry = trim(raw);
        DayNightStep step;
        size_t at = entry.find('@');
        std::string mode = trim(entry.substr(0, at));
        if (strcasecmp(mode.c_str(), "day") == 0) {
            step.mode = CSDK_DAYNIGHT_DAY;
        } else if (strcasecmp(mode.c_str(), "night") == 0) {
            step.mode = CSDK_DAYNIGHT_NIGHT;
        } else if (strcasecmp(mode.c_str(), "unknown") == 0) {
            step.mode = CSDK_DAYNIGHT_UNKNOWN;
        } else {
            error = "bad day/night entry '" + entry + "' (want day, night or unknown, optionally @time)";
            return false;
        }
        if (at != std::string::npos && !parseDurationMs(entry.substr(at + 1), step.atMs)) {
            error = "bad time in day/night entry '" + entry + "'";
            return false;
        }
        if (!steps.empty() && step.atMs < steps.back().atMs) {
            error = "day/night times must not decrease at '" + entry + "'";
            return false;
        }
        steps.push_back(step);
    }
    out = steps;
    return true;
}

bool parseAtEnd(const char* text, AtEnd& out, std::string& error) {
    if (text == nullptr || *text == '\0' || strcasecmp(text, "loop") == 0) {
        out = AtEnd::Loop;
    } else if (strcasecmp(text, "stop") == 0) {
        out = AtEnd::Stop;
    } else if (strcasecmp(text, "fail") == 0) {
        out = AtEnd::Fail;
    } else {
        error = std::string("bad CSDK_AT_END '") + text + "' (want loop, stop or fail)";
        return false;
    }
    return true;
}

bool parseSource(const char* text, SourceSpec& out, std::string& error) {
    SourceSpec spec;
    std::string t = text == nullptr ? "" : trim(text);
    const std::string word = "synthetic";
    if (t.empty() || strcasecmp(t.c_str(), word.c_str()) == 0) {
        out = spec;
        return true;
    }
    if (t.size() > word.size() && strncasecmp(t.c_str(), word.c_str(), word.size()) == 0 && t[word.size()] == ':') {
        for (const std::string& raw : split(t.substr(word.size() + 1), ":,")) {
            std::string option = trim(raw);
            long long frames = 0;
            if (option.empty()) continue;
            if (strcasecmp(option.c_str(), "night") == 0) {
                spec.night = true;
            } else if (strcasecmp(option.c_str(), "lightchange") == 0) {
                spec.lightchange = true;
            } else if (strcasecmp(option.c_str(), "empty") == 0) {
                spec.empty = true;
            } else if (strncasecmp(option.c_str(), "frames=", 7) == 0 &&
                       parseInteger(option.c_str() + 7, 1, 1LL << 40, frames)) {
                spec.frames = static_cast<uint64_t>(frames);
            } else if (strncasecmp(option.c_str(), "seed=", 5) == 0 &&
                       parseInteger(option.c_str() + 5, 0, UINT32_MAX, frames)) {
                spec.seed = static_cast<uint32_t>(frames);
            } else {
                error = "unknown synthetic option '" + option + "' (want night, lightchange, empty, frames=N or seed=N)";
                return false;
            }
        }
        out = spec;
        return true;
    }
    spec.synthetic = false;
    spec.location = t;
    out = spec;
    return true;
}

bool parseIrMode(const char* text, bool led, IrMode& out, std::string& error) {
    if (text == nullptr || *text == '\0' || strcasecmp(text, "auto") == 0) {
        out = IrMode::Auto;
    } else if (strcasecmp(text, "unsupported") == 0) {
        out = IrMode::Unsupported;
    } else if (strcasecmp(text, "on") == 0) {
        out = IrMode::On;
    } else if (strcasecmp(text, "off") == 0) {
        out = IrMode::Off;
    } else if (led && strcasecmp(text, "disabled") == 0) {
        out = IrMode::Disabled;
    } else {
        error = std::string("bad ") + (led ? "CSDK_IRLED" : "CSDK_IRCUT") + " '" + text + "'";
        return false;
    }
    return true;
}

}  // namespace csdk_standin
