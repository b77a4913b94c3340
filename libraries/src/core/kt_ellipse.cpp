#include "kt_ellipse.h"

#include <cmath>

int kt_init_ellipse(kt_ellipse* ellipse, const kt_fpoint* centre, float width, float height) {
    if (!ellipse || !centre) return 0;
    if (!std::isfinite(width) || !std::isfinite(height) || width < 0.0f || height < 0.0f) return 0;
    const float cx = centre->x, cy = centre->y;
    ellipse->cx = cx;
    ellipse->cy = cy;
    if (width >= height) {
        const float c = std::sqrt((width / 2) * (width / 2) - (height / 2) * (height / 2));
        ellipse->f1x = cx - c;
        ellipse->f1y = cy;
        ellipse->f2x = cx + c;
        ellipse->f2y = cy;
        ellipse->major = width;
        ellipse->minor = height;
    } else {
        const float c = std::sqrt((height / 2) * (height / 2) - (width / 2) * (width / 2));
        ellipse->f1x = cx;
        ellipse->f1y = cy - c;
        ellipse->f2x = cx;
        ellipse->f2y = cy + c;
        ellipse->major = height;
        ellipse->minor = width;
    }
    return 1;
}

int kt_ellipse_contains(const kt_ellipse* ellipse, float x, float y) {
    if (!ellipse) return 0;
    const kt_fpoint f1 = {ellipse->f1x, ellipse->f1y}, f2 = {ellipse->f2x, ellipse->f2y};
    return kt_distance_to(&f1, x, y) + kt_distance_to(&f2, x, y) <= ellipse->major ? 1 : 0;
}
