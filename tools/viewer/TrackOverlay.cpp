// TrackOverlay: path gathering, gray-to-colour conversion and clipped line and box drawing.
#include "TrackOverlay.h"

#include <cstdlib>
#include <cstring>
#include <set>

constexpr unsigned char TrackOverlay::kBoxBgr[3];
constexpr unsigned char TrackOverlay::kPathBgr[3];

namespace {
void plot(kt_image& picture, int x, int y, const unsigned char bgr[3]) {
    if (x < 0 || y < 0 || static_cast<uint32_t>(x) >= picture.width || static_cast<uint32_t>(y) >= picture.height) return;
    unsigned char* px = picture.data + (static_cast<size_t>(y) * picture.width + static_cast<size_t>(x)) * picture.channels;
    std::memcpy(px, bgr, 3);
}
}  // namespace

void TrackOverlay::update(const ObjectMap& objects) {
    std::set<uint32_t> present;
    for (const auto& entry : objects) {
        const Object& object = entry.second;
        ktml::BoundingBox<int> box;
        if (!object.newest(box)) continue;
        present.insert(object.getId());
        const Point centre{box.x + box.width / 2, box.y + box.height / 2};
        std::deque<Point>& path = m_paths[object.getId()];
        if (!path.empty() && path.back().x == centre.x && path.back().y == centre.y) continue;
        path.push_back(centre);
        if (path.size() > kPathPoints) path.pop_front();
    }
    for (auto it = m_paths.begin(); it != m_paths.end();) {
        if (present.count(it->first))
            ++it;
        else
            it = m_paths.erase(it);
    }
}

bool TrackOverlay::draw(const ObjectMap& objects, kt_image& picture) const {
    if ((picture.channels != 3 && picture.channels != 4) || !picture.data) return false;
    for (const auto& entry : objects) {
        ktml::BoundingBox<int> box;
        if (!entry.second.newest(box)) continue;
        drawRect(picture, box.x, box.y, box.width, box.height, kBoxBgr);
        const auto path = m_paths.find(entry.second.getId());
        if (path == m_paths.end()) continue;
        for (size_t i = 1; i < path->second.size(); ++i) {
            const Point& a = path->second[i - 1];
            const Point& b = path->second[i];
            drawLine(picture, a.x, a.y, b.x, b.y, kPathBgr);
        }
    }
    return true;
}

size_t TrackOverlay::pathLength(uint32_t id) const {
    const auto it = m_paths.find(id);
    return it == m_paths.end() ? 0 : it->second.size();
}

bool toColour(const kt_image& in, kt_image& out) {
    if (!in.data || in.width == 0 || in.height == 0 || (in.channels != 1 && in.channels != 3 && in.channels != 4))
        return false;
    if (out.width != in.width || out.height != in.height || out.channels != 3 || !out.data) {
        kt_image fresh = {};
        if (!kt_init_image(&fresh, in.width, in.height, 3)) return false;
        kt_free_image(&out);
        out = fresh;
    }
    const size_t pixels = static_cast<size_t>(in.width) * in.height;
    for (size_t i = 0; i < pixels; ++i) {
        const unsigned char* s = in.data + i * in.channels;
        unsigned char* d = out.data + i * 3;
        if (in.channels == 1) {
            d[0] = d[1] = d[2] = s[0];
        } else {
            std::memcpy(d, s, 3);
        }
    }
    return true;
}

// Bresenham; points outside are skipped, so a line far outside costs its length and writes nothing.
void drawLine(kt_image& picture, int x0, int y0, int x1, int y1, const unsigned char bgr[3]) {
    if ((picture.channels != 3 && picture.channels != 4) || !picture.data) return;
    const long long dx = std::llabs(static_cast<long long>(x1) - x0), dy = -std::llabs(static_cast<long long>(y1) - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    // Bound the walk by the picture: a hostile box far away must not cost billions of steps.
    const long long limit = 2LL * (picture.width + picture.height) + 4;
    if (dx > limit || -dy > limit) return;
    long long err = dx + dy;
    for (;;) {
        plot(picture, x0, y0, bgr);
        if (x0 == x1 && y0 == y1) break;
        const long long e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void drawRect(kt_image& picture, int x, int y, int w, int h, const unsigned char bgr[3]) {
    if (w <= 0 || h <= 0) return;
    // Clip the corners first so that the edges walked are at most the picture's size.
    const long long right = static_cast<long long>(x) + w - 1, bottom = static_cast<long long>(y) + h - 1;
    if (right < 0 || bottom < 0 || x >= static_cast<long long>(picture.width) || y >= static_cast<long long>(picture.height))
        return;
    const int l = x < -1 ? -1 : x, t = y < -1 ? -1 : y;
    const int r = right > picture.width ? static_cast<int>(picture.width) : static_cast<int>(right);
    const int b = bottom > picture.height ? static_cast<int>(picture.height) : static_cast<int>(bottom);
    drawLine(picture, l, t, r, t, bgr);
    drawLine(picture, l, b, r, b, bgr);
    drawLine(picture, l, t, l, b, bgr);
    drawLine(picture, r, t, r, b, bgr);
}
