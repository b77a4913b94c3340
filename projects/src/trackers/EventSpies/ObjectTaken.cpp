// ObjectTaken: the appearance model of one asset region: per-cell value and edge histograms learnt
// from the frames, compared with each new frame to tell "taken" from "as before".
#include "ObjectTaken.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "kt_sobel.h"

namespace {

// The largest Sobel |gx| + |gy| of 8-bit pixels: 4 x 255 each.
constexpr int32_t kMaxEdge = 2 * 4 * 255;

}  // namespace

ObjectTaken::ObjectTaken() = default;

ObjectTaken::~ObjectTaken() { kt_free_image(&m_crop); }

ObjectTaken::ObjectTaken(const ObjectTaken& other)
    : m_sensitivity(other.m_sensitivity), m_region(other.m_region), m_regionBox(other.m_regionBox),
      m_minChange(other.m_minChange) {}

ObjectTaken& ObjectTaken::operator=(const ObjectTaken& other) {
    if (this != &other) {
        m_sensitivity = other.m_sensitivity;
        m_minChange = other.m_minChange;
        setRegion(other.m_region);
    }
    return *this;
}

bool ObjectTaken::setSensitivity(float s) {
    if (!(s >= 0.0f && s <= 1.0f)) return false;
    m_sensitivity = s;
    return true;
}

void ObjectTaken::setRegion(const ktml::Polygon2D<int>& region) {
    m_region = region;
    m_regionBox = region.isValid() ? region.boundingbox() : ktml::BoundingBox<int>();
    m_imageWidth = m_imageHeight = 0;  // rebuild the grid on the next frame
    m_cells.clear();
    reset();
}

void ObjectTaken::reset() {
    for (Cell& c : m_cells) {
        c.value.clear();
        c.edge.clear();
        c.learnt = false;
        c.updates = 0;
    }
    m_status.clear();
    m_changing = false;
    m_changeStart = 0;
}

void ObjectTaken::rebuildGrid(unsigned width, unsigned height, bool colour) {
    m_imageWidth = width;
    m_imageHeight = height;
    m_colour = colour;
    // Clip the region's box to the image (in 64 bits: a saturated region must not overflow).
    const long long x0 = std::max<long long>(0, m_regionBox.x), y0 = std::max<long long>(0, m_regionBox.y);
    const long long x1 = std::min<long long>(width, (long long)m_regionBox.x + m_regionBox.width);
    const long long y1 = std::min<long long>(height, (long long)m_regionBox.y + m_regionBox.height);
    m_box = ktml::BoundingBox<int>(int(x0), int(y0), int(std::max(0LL, x1 - x0)), int(std::max(0LL, y1 - y0)));
    const int cw = std::max(kMinCellPx, m_box.width / kCellsPerSide);
    const int ch = std::max(kMinCellPx, m_box.height / kCellsPerSide);
    m_columns = m_box.width / cw;
    m_rows = m_box.height / ch;
    m_cells.assign(size_t(m_columns) * size_t(m_rows), Cell());
    const unsigned valueBins = colour ? 3 * kColourBinsPerChannel : kGrayBins;
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < m_columns; ++c) {
            Cell& cell = m_cells[size_t(r) * m_columns + c];
            cell.box = ktml::BoundingBox<int>(c * cw, r * ch, cw, ch);  // within the crop
            cell.value.setBins(valueBins);
            cell.newValue.setBins(valueBins);
            cell.edge.setBins(kEdgeBins);
            cell.newEdge.setBins(kEdgeBins);
        }
    kt_free_image(&m_crop);
    m_gradient.clear();
    // Two gradient words a pixel, counted in 64 bits: a 32-bit size_t would wrap to a short vector.
    const uint64_t gradientWords = uint64_t(m_box.width) * uint64_t(m_box.height) * 2;
    if (m_box.width >= 3 && m_box.height >= 3 && gradientWords <= m_gradient.max_size() &&
        kt_init_image(&m_crop, unsigned(m_box.width), unsigned(m_box.height), 1) == 1 && m_crop.data != nullptr)
        m_gradient.assign(size_t(gradientWords), 0);
    reset();
}

double ObjectTaken::similarity(ktml::Histogram& stored, const ktml::Histogram& fresh, unsigned updates, bool& learnt) {
    if (!learnt) {
        stored = fresh;
        return -1;
    }
    const double s = 1.0 - stored.distanceTo(fresh, 0);
    if (updates <= kSettledUpdates || s >= kUpdateSimilarity) stored.average(fresh, kAverageWeight);
    return s;
}

int ObjectTaken::process(int64_t positionMs, const kt_image& gray, const kt_image* colour, float& confidence) {
    if (m_region.size() < 3) {
        m_status = "Invalid asset region";
        return CannotJudge;
    }
    if (!gray.data || gray.channels != 1 || gray.width == 0 || gray.height == 0 ||
        (colour && (!colour->data || colour->channels < 3 || colour->width != gray.width ||
                    colour->height != gray.height))) {
        m_status = "Invalid image";
        return CannotJudge;
    }
    // A crop that could not be had is tried again on the next frame.
    if (gray.width != m_imageWidth || gray.height != m_imageHeight || (colour != nullptr) != m_colour ||
        (!m_cells.empty() && m_crop.data == nullptr))
        rebuildGrid(gray.width, gray.height, colour != nullptr);
    if (m_box.width <= 0 || m_box.height <= 0) {
        m_status = kttl::String::format("Invalid image dimensions(%ux%u) Asset (%dx%d)", gray.width, gray.height,
                                        m_regionBox.width, m_regionBox.height);
        return CannotJudge;
    }
    if (m_cells.empty()) {
        m_status = "Asset region smaller than one cell";
        return CannotJudge;
    }
    if (m_crop.data == nullptr || m_gradient.size() / 2 < m_crop.size) {
        m_status = "Unable to allocate memory for the asset region";
        return CannotJudge;
    }
    // Crop and gradient.
    for (int r = 0; r < m_box.height; ++r)
        std::copy_n(gray.data + size_t(m_box.y + r) * gray.width + m_box.x, m_box.width,
                    m_crop.data + size_t(r) * m_box.width);
    kt_sobel_image(&m_crop, m_gradient.data(), uint32_t(m_gradient.size() / 2));
    double valueSum = 0, edgeSum = 0;
    bool learning = false;
    for (Cell& cell : m_cells) {
        // Count into plain arrays first: one histogram call per bin instead of two per pixel. Four
        // copies, taken in turn by column: neighbouring pixels mostly fall in one bin, and a single
        // counter would make every increment wait for the one before.
        uint32_t counts[kCopies][3 * kColourBinsPerChannel] = {}, edgeCounts[kCopies][kEdgeBins] = {};
        for (int r = cell.box.y; r < cell.box.y + cell.box.height; ++r) {
            const size_t row = size_t(r) * m_box.width;
            const unsigned char* cropRow = m_crop.data + row;
            const int32_t* g = &m_gradient[row * 2];
            if (colour) {
                const unsigned char* p = colour->data + (size_t(m_box.y + r) * colour->width + m_box.x) * colour->channels;
                for (int c = cell.box.x; c < cell.box.x + cell.box.width; ++c) {
                    const unsigned char* px = p + size_t(c) * colour->channels;
                    uint32_t* values = counts[c % kCopies];
                    ++values[px[0] * kColourBinsPerChannel / 256];
                    ++values[kColourBinsPerChannel + px[1] * kColourBinsPerChannel / 256];
                    ++values[2 * kColourBinsPerChannel + px[2] * kColourBinsPerChannel / 256];
                }
            } else {
                for (int c = cell.box.x; c < cell.box.x + cell.box.width; ++c)
                    ++counts[c % kCopies][cropRow[c] * kGrayBins / 256];
            }
            for (int c = cell.box.x; c < cell.box.x + cell.box.width; ++c) {
                const int32_t mag = std::min(kMaxEdge, std::abs(g[2 * c]) + std::abs(g[2 * c + 1]));
                ++edgeCounts[c % kCopies][uint32_t(mag) * kEdgeBins / (kMaxEdge + 1)];
            }
        }
        uint32_t values[3 * kColourBinsPerChannel] = {}, edges[kEdgeBins] = {};
        for (unsigned k = 0; k < kCopies; ++k) {
            for (unsigned b = 0; b < 3 * kColourBinsPerChannel; ++b) values[b] += counts[k][b];
            for (unsigned b = 0; b < kEdgeBins; ++b) edges[b] += edgeCounts[k][b];
        }
        cell.newValue.clear();
        cell.newEdge.clear();
        for (uint32_t b = 0; b < cell.newValue.binCount(); ++b)
            if (values[b]) cell.newValue.incrementBin(b, values[b]);
        for (uint32_t b = 0; b < kEdgeBins; ++b)
            if (edges[b]) cell.newEdge.incrementBin(b, edges[b]);
        const bool wasLearnt = cell.learnt;
        const double sv = similarity(cell.value, cell.newValue, cell.updates, cell.learnt);
        const double se = similarity(cell.edge, cell.newEdge, cell.updates, cell.learnt);
        cell.learnt = true;
        ++cell.updates;
        if (!wasLearnt) learning = true;
        valueSum += sv;
        edgeSum += se;
    }
    m_valueScore = valueSum / double(m_cells.size());
    m_edgeScore = edgeSum / double(m_cells.size());
    if (learning || m_valueScore < 0 || m_edgeScore < 0) {
        m_changing = false;
        return NoDecision;
    }
    return decide(positionMs, m_valueScore, m_edgeScore, confidence);
}

int ObjectTaken::decide(int64_t positionMs, double valueScore, double edgeScore, float& confidence) {
    const double score = kValueWeight * valueScore + kEdgeWeight * edgeScore;
    if (score >= m_sensitivity) {
        if (m_changing && score > kRestoredScore) {
            confidence = float(score);
            reset();
            return Restored;
        }
        return NoDecision;
    }
    if (!m_changing) {
        m_changing = true;
        m_changeStart = positionMs;
    }
    if (positionMs - m_changeStart >= m_minChange.getMilliseconds()) {
        confidence = float(1.0 - score);
        m_status = kttl::String::format("Confidences:  Edge %f, Value %f", edgeScore, valueScore);
        return Taken;
    }
    return NoDecision;
}
