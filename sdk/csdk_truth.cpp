// csdk_truth: the synthetic scene's ground truth as JSON lines, one per delivered frame.
#include "csdk_truth.h"

#include <algorithm>
#include <cstdio>

namespace csdk_standin {

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
