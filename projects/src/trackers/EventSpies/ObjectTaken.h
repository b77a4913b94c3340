// ObjectTaken: the appearance model of one asset region: per-cell value and edge histograms learnt
// from the frames, compared with each new frame to tell "taken" from "as before".
#pragma once

#include <cstdint>
#include <vector>

#include "kt_image.h"
#include "ktml_BoundingBox.h"
#include "ktml_Histogram.h"
#include "ktml_Polygon2d.h"
#include "kttl_ElapsedTime.h"
#include "kttl_String.h"

// Bins: the value histogram has 16 bins per colour channel (blue, green, red: 48) with a colour image,
// else 16 gray bins; the edge histogram has 10 bins of Sobel magnitude (|gx| + |gy|) over its full
// range. Similarity is 1 - the histogram distance (half the sum of absolute differences of the
// normalised bins); a stored histogram moves toward the new one by averaging with weight 0.1.
// The region's box is clipped to the image; a clipped box narrower or lower than one 16-pixel cell has
// no cells and cannot be judged (result 0, status "Asset region smaller than one cell").
class ObjectTaken {
public:
    enum Result { CannotJudge = 0, NoDecision = 1, Taken = 2, Restored = 3 };

    static constexpr int kMinCellPx = 16;
    static constexpr int kCellsPerSide = 4;
    static constexpr unsigned kColourBinsPerChannel = 16;
    static constexpr unsigned kGrayBins = 16;
    static constexpr unsigned kEdgeBins = 10;
    // Interleaved copies of each cell histogram while counting (see process()).
    static constexpr unsigned kCopies = 4;
    static constexpr double kUpdateSimilarity = 0.85;
    static constexpr unsigned kSettledUpdates = 10;
    static constexpr float kAverageWeight = 0.1f;
    static constexpr double kValueWeight = 0.3;
    static constexpr double kEdgeWeight = 0.7;
    static constexpr double kRestoredScore = 0.8;

    struct Cell {
        ktml::BoundingBox<int> box;
        ktml::Histogram value, edge;      // learnt
        ktml::Histogram newValue, newEdge;  // this frame's, reused
        unsigned updates = 0;
        bool learnt = false;
    };

    ObjectTaken();

    // 0 to 1; false (value kept) otherwise, NaN included.
    bool setSensitivity(float s);
    float getSensitivity() const { return m_sensitivity; }
    // The asset region in pixels; forgets the model.
    void setRegion(const ktml::Polygon2D<int>& region);
    const ktml::Polygon2D<int>& getRegion() const { return m_region; }
    void setMinChangeTime(const kttl::ElapsedTime& t) { m_minChange = t; }
    // Forgets every learnt histogram, the running change and the status.
    void reset();

    // Judges one frame at stream position `positionMs`: 0 cannot judge, 1 no decision, 2 taken
    // (confidence = 1 - score), 3 restored (confidence = score; the model is relearnt). `colour`, when
    // given, has the gray image's size and 3 or 4 bytes per pixel (blue, green, red first).
    int process(int64_t positionMs, const kt_image& gray, const kt_image* colour, float& confidence);

    const kttl::String& getStatus() const { return m_status; }
    const ktml::BoundingBox<int>& getBox() const { return m_box; }
    size_t cellCount() const { return m_cells.size(); }
    int gridColumns() const { return m_columns; }
    int gridRows() const { return m_rows; }
    double lastValueScore() const { return m_valueScore; }
    double lastEdgeScore() const { return m_edgeScore; }
    // The decision of steps 5 to 7 from the two scores (exposed so the weighting can be checked).
    int decide(int64_t positionMs, double valueScore, double edgeScore, float& confidence);

private:
    void rebuildGrid(unsigned width, unsigned height, bool colour);
    static double similarity(ktml::Histogram& stored, const ktml::Histogram& fresh, unsigned updates, bool& learnt);

    float m_sensitivity = 0.5f;
    ktml::Polygon2D<int> m_region;
    ktml::BoundingBox<int> m_regionBox;
    ktml::BoundingBox<int> m_box;  // clipped to the image
    std::vector<Cell> m_cells;
    int m_columns = 0, m_rows = 0;
    unsigned m_imageWidth = 0, m_imageHeight = 0;
    bool m_colour = false;
    kttl::String m_status;
    int64_t m_changeStart = 0;
    bool m_changing = false;
    kttl::ElapsedTime m_minChange;
    kt_image m_crop{};
    std::vector<int32_t> m_gradient;
    double m_valueScore = 0, m_edgeScore = 0;

public:
    ~ObjectTaken();
    ObjectTaken(const ObjectTaken& other);
    ObjectTaken& operator=(const ObjectTaken& other);
};
