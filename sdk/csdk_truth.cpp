// csdk_truth: the synthetic scene's ground truth as JSON lines, one per delivered frame.
#include "csdk_truth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace csdk_standin {

namespace {

// Reads a JSON number after `key` in [p, end); false when missing or malformed.
inline bool numberAfter(const char*& p, const char* end, const char* key, double& value) {
    const char* at = std::search(p, end, key, key + std::strlen(key));
    if (at == end) return false;
    at += std::strlen(key);
    char* stop = nullptr;
    value = std::strtod(at, &stop);
    if (stop == at || stop > end) return false;
    p = stop;
    return true;
}

}  // namespace

bool parseTruthLine(const std::string& line, int64_t& frame, std::vector<SyntheticScene::MoverBox>& movers,
                    size_t maxMovers) {
    const char* p = line.c_str();
    const char* const end = p + line.size();
    double f = 0;
    if (!numberAfter(p, end, "\"frame\":", f) || f < 0 || f > 1e15 || f != static_cast<double>(static_cast<int64_t>(f)))
        return false;
    frame = static_cast<int64_t>(f);
    static const char kMovers[] = "\"movers\":[";
    p = std::search(p, end, kMovers, kMovers + sizeof kMovers - 1);
    if (p == end) return false;
    p += sizeof kMovers - 1;
    movers.clear();
    for (;;) {
        while (p < end && (*p == ' ' || *p == ',')) ++p;
        if (p < end && *p == ']') return true;
        if (p == end || *p != '{' || movers.size() >= maxMovers) return false;
        const char* close = std::find(p, end, '}');
        if (close == end) return false;
        SyntheticScene::MoverBox m{};
        double id = 0;
        const char* q = p;
        // An id is a whole number an int holds (the NaN test fails too).
        if (!numberAfter(q, close, "\"id\":", id) || !(id >= 0 && id <= INT32_MAX) || id != std::floor(id))
            return false;
        static const char kClass[] = "\"class\":\"";
        const char* c = std::search(p, close, kClass, kClass + sizeof kClass - 1);
        if (c == close) return false;
        c += sizeof kClass - 1;
        const char* cEnd = std::find(c, close, '"');
        if (cEnd == close) return false;
        m.id = static_cast<int>(id);
        m.person = std::string(c, cEnd) == "person";
        q = p;
        double v[4];
        if (!numberAfter(q, close, "\"box\":[", v[0])) return false;
        for (int k = 1; k < 4; ++k) {
            while (q < close && (*q == ' ' || *q == ',')) ++q;
            char* stop = nullptr;
            v[k] = std::strtod(q, &stop);
            if (stop == q || stop > close) return false;
            q = stop;
        }
        for (double x : v)
            if (!std::isfinite(x)) return false;
        m.left = v[0];
        m.top = v[1];
        m.right = v[2];
        m.bottom = v[3];
        movers.push_back(m);
        p = close + 1;
    }
}


void visibleMovers(const std::vector<SyntheticScene::MoverBox>& boxes, int width, int height,
                   std::vector<SyntheticScene::MoverBox>& out) {
    out.clear();
    for (const SyntheticScene::MoverBox& m : boxes) {
        SyntheticScene::MoverBox c = m;
        c.left = std::max(0.0, m.left);
        c.top = std::max(0.0, m.top);
        c.right = std::min<double>(width, m.right);
        c.bottom = std::min<double>(height, m.bottom);
        const double full = (m.right - m.left) * (m.bottom - m.top);
        if (c.right <= c.left || c.bottom <= c.top || full <= 0) continue;
        if ((c.right - c.left) * (c.bottom - c.top) < kTruthVisibleShare * full) continue;
        out.push_back(c);
    }
}

std::string truthLine(uint64_t frame, const std::vector<SyntheticScene::MoverBox>& visible) {
    std::string line = "{\"frame\":" + std::to_string(frame) + ",\"movers\":[";
    char item[160];
    for (size_t i = 0; i < visible.size(); ++i) {
        const SyntheticScene::MoverBox& m = visible[i];
        std::snprintf(item, sizeof item, "%s{\"id\":%d,\"class\":\"%s\",\"box\":[%.1f,%.1f,%.1f,%.1f]}", i ? "," : "",
                      m.id, m.person ? "person" : "vehicle", m.left, m.top, m.right, m.bottom);
        line += item;
    }
    return line + "]}";
}

}  // namespace csdk_standin
