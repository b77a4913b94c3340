#include "kt_conncomp.h"

#include <cstdlib>
#include <cstring>

#include "kt_alloc.h"
#include "kt_detection_report.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// One run of inside kernel cells in one kernel row: columns [first, last) of kernel row `row`.
// `cursor` is scratch for the run labeller: the first run of the window row still in this span's reach.
struct Span {
    uint32_t row;
    uint32_t first;
    uint32_t last;
    uint32_t cursor;
};
static_assert(sizeof(Span) == 4 * sizeof(uint32_t), "window spans are stored as uint32 quadruples");

// One foreground run of a mask row: columns [first, end), all under `label`'s group.
struct Run {
    uint32_t first;
    uint32_t end;
    uint32_t label;
};
static_assert(sizeof(Run) == 3 * sizeof(uint32_t), "runs are stored as uint32 triples");

// Grows a label's box over pixel (x, y): left and up keep the far edge, right and down move it.
inline void grow_box(kt_vertex* v, uint32_t x, uint32_t y) {
    if (x < v->x) {
        v->width += v->x - x;
        v->x = x;
    } else if (x > v->x + v->width) {
        v->width = x - v->x;
    }
    if (y < v->y) {
        v->height += v->y - y;
        v->y = y;
    } else if (y > v->y + v->height) {
        v->height = y - v->y;
    }
}

// The causal half of the kernel as spans in scan order: rows 0 .. half_height - 1 whole, and in the
// centre row only the cells left of the centre (the rest hold no label yet). Returns the span count,
// or UINT32_MAX when the window buffer cannot be allocated.
uint32_t build_window(const kt_kernel* kernel, kt_conncomp* state) {
    const uint32_t kw = kernel->width, hw = kw / 2, hh = kernel->height / 2;
    // A row of kw cells has at most (kw + 1) / 2 separate runs.
    const uint32_t needed = (hh + 1) * ((kw + 1) / 2);
    if (!state->window || state->window_capacity < needed) {
        uint32_t* window = static_cast<uint32_t*>(kt_calloc(needed, sizeof(Span)));
        if (!window) return UINT32_MAX;
        std::free(state->window);
        state->window = window;
        state->window_capacity = needed;
    }
    Span* spans = reinterpret_cast<Span*>(state->window);
    uint32_t count = 0;
    for (uint32_t j = 0; j <= hh; ++j) {
        const uint32_t columns = j == hh ? hw : kw;
        const uint16_t* row = kernel->cells + static_cast<size_t>(kw) * j;
        uint32_t i = 0;
        while (i < columns) {
            if (row[i] != KT_KERNEL_INSIDE) {
                ++i;
                continue;
            }
            uint32_t first = i;
            while (i < columns && row[i] == KT_KERNEL_INSIDE) ++i;
            spans[count++] = Span{j, first, i, 0};
        }
    }
    return count;
}

// Background bytes tested per step of the wide skip: four 64-bit words, so a background row streams
// at close to memory speed.
const uint32_t kSkipBytes = 32;

// Index of the next pixel at or after x whose value reaches the threshold, or width when none does.
// Zero bytes are skipped a block at a time when the threshold rules out zero.
inline uint32_t next_foreground(const unsigned char* row, uint32_t x, uint32_t width,
                                uint32_t threshold) {
    if (threshold != 0) {
        while (x + kSkipBytes <= width) {
            uint64_t w0, w1, w2, w3;  // separate words stay in registers
            std::memcpy(&w0, row + x, 8);
            std::memcpy(&w1, row + x + 8, 8);
            std::memcpy(&w2, row + x + 16, 8);
            std::memcpy(&w3, row + x + 24, 8);
            if ((w0 | w1 | w2 | w3) != 0) break;
            x += kSkipBytes;
        }
        while (x + 8 <= width) {
            uint64_t word;
            std::memcpy(&word, row + x, sizeof(word));
            if (word != 0) break;
            x += 8;
        }
    }
    while (x < width && row[x] < threshold) ++x;
    return x;
}

// Index of the first pixel at or after x whose value is below the threshold, or width when none is:
// the end of a foreground run.
inline uint32_t run_end(const unsigned char* row, uint32_t x, uint32_t width, uint32_t threshold) {
    while (x < width && row[x] >= threshold) ++x;
    return x;
}

#if defined(__SSE2__)
// The foreground runs of one mask row, left to right. Each 64 columns become one 64-bit mask of
// the bytes at or above the threshold, and runs are read off its bits, so neither a run's start nor
// its end costs a step per byte.
class RowRuns {
public:
    RowRuns(const unsigned char* row, uint32_t width, uint32_t threshold)
        : row_(row), width_(width), none_(threshold > 255), zero_is_background_(threshold != 0),
          threshold_(_mm_set1_epi8(static_cast<char>(threshold > 255 ? 0 : threshold))),
          bits_(none_ ? 0 : block(0)) {}

    // The next run [first, end); false when the row has no more.
    bool next(uint32_t& first, uint32_t& end) {
        while (bits_ == 0) {
            base_ += 64;
            if (none_ || base_ >= width_) return false;
            bits_ = block(base_);
        }
        const uint32_t start = static_cast<uint32_t>(__builtin_ctzll(bits_));
        first = base_ + start;
        uint64_t gaps = ~bits_ & (~0ull << start);
        while (gaps == 0) {  // the run fills the rest of this block
            base_ += 64;
            if (base_ >= width_) {
                end = width_;
                bits_ = 0;
                return true;
            }
            bits_ = block(base_);
            gaps = ~bits_;
        }
        const uint32_t stop = static_cast<uint32_t>(__builtin_ctzll(gaps));
        end = base_ + stop;
        bits_ &= ~0ull << stop;
        return true;
    }

private:
    uint64_t bits16(__m128i v) const {
        // Bytes at or above the threshold are those the unsigned maximum leaves unchanged.
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, threshold_), v)));
    }
    // Foreground bits of columns x .. x + 63; columns past the row are background.
    uint64_t block(uint32_t x) const {
        const unsigned char* p = row_ + x;
        const uint32_t n = width_ - x;
        unsigned char tail[64];
        if (n < 64) {  // never read past the row: the last row ends the image
            std::memcpy(tail, p, n);
            std::memset(tail + n, 0, 64 - n);  // defined bytes for the zero test; masked off below
            p = tail;
        }
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
        // Most of a mask is zero bytes, which a threshold above zero rules out in one test.
        if (zero_is_background_ &&
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)),
                                             _mm_setzero_si128())) == 0xFFFF)
            return 0;
        const uint64_t bits = bits16(a) | bits16(b) << 16 | bits16(c) << 32 | bits16(d) << 48;
        return n < 64 ? bits & ((1ull << n) - 1) : bits;
    }

    const unsigned char* row_;
    uint32_t width_;
    bool none_;  // a threshold above 255 leaves no foreground
    bool zero_is_background_;
    __m128i threshold_;
    uint32_t base_ = 0;  // first column of the block in bits_
    uint64_t bits_;      // foreground columns of the block not yet returned
};
#else
// The foreground runs of one mask row, left to right, a word of background at a time.
class RowRuns {
public:
    RowRuns(const unsigned char* row, uint32_t width, uint32_t threshold)
        : row_(row), width_(width), threshold_(threshold) {}

    // The next run [first, end); false when the row has no more.
    bool next(uint32_t& first, uint32_t& end) {
        if (x_ >= width_) return false;
        first = next_foreground(row_, x_, width_, threshold_);
        if (first >= width_) {
            x_ = width_;
            return false;
        }
        end = run_end(row_, first + 1, width_, threshold_);
        x_ = end + 1;  // column end is background, or the row's end
        return true;
    }

private:
    const unsigned char* row_;
    uint32_t width_, threshold_;
    uint32_t x_ = 0;
};
#endif

// Joins the groups of labels a and b: the same union as kt_add_edge, inlined for the raster pass,
// whose labels are always below count.
inline void unite(uint32_t* links, uint32_t a, uint32_t b) {
    while (links[a] != a) a = links[a] = links[links[a]];
    while (links[b] != b) b = links[b] = links[links[b]];
    if (a < b)
        links[b] = a;
    else if (b < a)
        links[a] = b;
}

// The label the pixel at column x takes from its whole causal window: the first label found there,
// with every other label in reach joined to it (a pixel can bridge more than two partial blobs);
// KT_NO_LABEL when the window holds none. `joined` receives the last label joined to it.
inline uint32_t window_label(uint32_t* const* rows, const Span* spans, uint32_t span_count, uint32_t x,
                             uint32_t* links, uint32_t& joined) {
    uint32_t label = KT_NO_LABEL;
    joined = KT_NO_LABEL;
    for (uint32_t s = 0; s < span_count; ++s) {
        // Buffer column of kernel column i is x - hw + i + hw = x + i.
        const uint32_t* cells = rows[spans[s].row] + x;
        for (uint32_t i = spans[s].first; i < spans[s].last; ++i) {
            const uint32_t other = cells[i];
            if (other == KT_NO_LABEL || other == label || other == joined) continue;
            if (label == KT_NO_LABEL) {
                label = other;
            } else {
                unite(links, label, other);
                joined = other;
            }
        }
    }
    return label;
}

// Pixel (x, y) keeps `label`, whose box grows over it, or gets a new label when it has none. False
// when the graph cannot grow; `links` follows the graph's links, which growing moves.
inline bool take_label(kt_graph* graph, uint32_t*& links, uint32_t& label, uint32_t x, uint32_t y) {
    if (label != KT_NO_LABEL) {
        grow_box(&graph->vertices[label], x, y);
        return true;
    }
    const kt_vertex box = {x, y, 0, 0, 0.0f, nullptr};
    label = kt_add_vertex(graph, &box);
    if (label == KT_NO_VERTEX) return false;
    links = graph->edges;
    return true;
}

// Keeps `*buffer` at exactly `entries` uint32 values, reallocating only when the count changes.
// False (buffer freed) when the allocation fails.
bool size_buffer(uint32_t** buffer, uint32_t* count, uint32_t entries) {
    if (*buffer && *count == entries) return true;
    std::free(*buffer);
    *buffer = nullptr;
    *count = 0;
    *buffer = static_cast<uint32_t*>(kt_calloc(entries, sizeof(uint32_t)));
    if (!*buffer) {
        kt_detection_report("kt_label_image(...) - Unable to allocate memory for g_pLabelImg.");
        return false;
    }
    *count = entries;
    return true;
}

// Labelling a run at a time, for kernels whose window holds the left neighbour (so a run is one
// chain). Each row's runs are kept as (first, end, label); a run meets an earlier run exactly when
// that run overlaps, in some span's window row, the stretch the span covers as the kernel slides
// along the run: columns x + first - hw .. end - 1 + last - 1 - hw. The raster-first run of every
// group finds nothing in reach and makes the group's smallest label, so groups, their boxes and
// their order are those of the pixel-by-pixel rule, with far fewer steps on long or noisy rows.
int label_runs(const kt_image* mask, uint32_t threshold, kt_conncomp* state, const kt_kernel* kernel,
               Span* spans, uint32_t span_count) {
    kt_graph* graph = state->graph;
    const uint32_t width = mask->width, height = mask->height;
    const uint32_t hw = kernel->width / 2, hh = kernel->height / 2, ring_rows = hh + 1;
    // A row holds at most one run per two columns.
    const uint32_t row_runs = width / 2 + 1;
    const uint64_t entries64 = static_cast<uint64_t>(row_runs) * ring_rows * 3;
    if (entries64 > UINT32_MAX / sizeof(uint32_t)) return 0;
    if (!size_buffer(&state->runs, &state->run_count, static_cast<uint32_t>(entries64))) return 0;
    Run* const ring = reinterpret_cast<Run*>(state->runs);
    uint32_t* links = graph->edges;

    // Runs in each ring row; rows above the image hold none. hh is at most KT_KERNEL_MAX_SIDE / 2.
    uint32_t counts[KT_KERNEL_MAX_SIDE / 2 + 1];
    for (uint32_t j = 0; j < ring_rows; ++j) counts[j] = 0;
    const Run* rows[KT_KERNEL_MAX_SIDE / 2 + 1];
    const uint32_t* row_counts[KT_KERNEL_MAX_SIDE / 2 + 1];
    for (uint32_t y = 0; y < height; ++y) {
        // Window row j shows image row y - hh + j, which lives in ring row (y + 1 + j) mod ring_rows.
        for (uint32_t j = 0; j < ring_rows; ++j) {
            const uint32_t r = (y + 1 + j) % ring_rows;
            rows[j] = ring + static_cast<size_t>(r) * row_runs;
            row_counts[j] = &counts[r];
        }
        // The ring row taken by row y still holds row y - hh - 1, which no window reaches again.
        const uint32_t own_ring = (y + 1 + hh) % ring_rows;
        Run* const own = ring + static_cast<size_t>(own_ring) * row_runs;
        counts[own_ring] = 0;
        for (uint32_t s = 0; s < span_count; ++s) spans[s].cursor = 0;

        const unsigned char* row = mask->data + static_cast<size_t>(width) * y;
        RowRuns scan(row, width, threshold);
        uint32_t x, end;
        while (scan.next(x, end)) {
            uint32_t label = KT_NO_LABEL, joined = KT_NO_LABEL;
            for (uint32_t s = 0; s < span_count; ++s) {
                Span& span = spans[s];
                const Run* runs = rows[span.row];
                const uint32_t n = *row_counts[span.row];
                // Out of reach on the left: the run's last column end - 1 < x + first - hw. Cursors only
                // move right, as x does.
                uint32_t c = span.cursor;
                const uint32_t left = x + span.first;
                while (c < n && runs[c].end + hw <= left) ++c;
                span.cursor = c;
                // In reach while first <= end - 1 + last - 1 - hw.
                const uint32_t right = end + span.last;
                for (; c < n && runs[c].first + hw + 2 <= right; ++c) {
                    const uint32_t other = runs[c].label;
                    if (other == label || other == joined) continue;
                    if (label == KT_NO_LABEL) {
                        label = other;
                    } else {
                        unite(links, label, other);
                        joined = other;
                    }
                }
            }
            if (!take_label(graph, links, label, x, y)) return 0;
            if (end - x > 1) grow_box(&graph->vertices[label], end - 1, y);
            own[counts[own_ring]++] = Run{x, end, label};
        }
    }
    return 1;
}

// Labelling pixel by pixel through a ring of per-pixel labels, for kernels without the left
// neighbour (a one-column kernel), whose runs need not be one chain.
int label_pixels(const kt_image* mask, uint32_t threshold, kt_conncomp* state, const kt_kernel* kernel,
                 const Span* spans, uint32_t span_count) {
    kt_graph* graph = state->graph;
    const uint32_t width = mask->width, height = mask->height;
    const uint32_t kw = kernel->width, hw = kw / 2, hh = kernel->height / 2;
    const uint32_t ring_rows = hh + 1;
    const uint64_t stride64 = static_cast<uint64_t>(width) + kw - 1;
    const uint64_t entries64 = stride64 * ring_rows;
    if (entries64 > UINT32_MAX / sizeof(uint32_t)) return 0;
    const uint32_t stride = static_cast<uint32_t>(stride64);
    const uint32_t entries = static_cast<uint32_t>(entries64);
    if (!size_buffer(&state->labels, &state->label_count, entries)) return 0;
    uint32_t* labels = state->labels;
    uint32_t* links = graph->edges;
    // All 0xFF bytes: KT_NO_LABEL everywhere, which also stands for the rows above the image.
    std::memset(labels, 0xFF, static_cast<size_t>(entries) * sizeof(uint32_t));

    // Ring row of each window row for the current image row; hh is at most KT_KERNEL_MAX_SIDE / 2.
    uint32_t* rows[KT_KERNEL_MAX_SIDE / 2 + 1];
    for (uint32_t y = 0; y < height; ++y) {
        // Window row j shows image row y - hh + j, which lives in ring row (y + 1 + j) mod ring_rows.
        for (uint32_t j = 0; j < ring_rows; ++j)
            rows[j] = labels + static_cast<size_t>((y + 1 + j) % ring_rows) * stride;
        uint32_t* own = rows[hh] + hw;
        // The ring row now taken by row y still holds row y - hh - 1, which no window reaches again.
        std::memset(own, 0xFF, static_cast<size_t>(width) * sizeof(uint32_t));
        const unsigned char* row = mask->data + static_cast<size_t>(width) * y;
        for (uint32_t x = next_foreground(row, 0, width, threshold); x < width;
             x = next_foreground(row, x + 1, width, threshold)) {
            uint32_t joined;
            uint32_t label = window_label(rows, spans, span_count, x, links, joined);
            if (!take_label(graph, links, label, x, y)) return 0;
            own[x] = label;
        }
    }
    return 1;
}

}  // namespace

int kt_conncomp_init(uint32_t initial_capacity, kt_conncomp* state) {
    if (!state || initial_capacity == 0) return 0;
    std::memset(state, 0, sizeof(*state));
    kt_graph* graph = static_cast<kt_graph*>(kt_calloc(1, sizeof(kt_graph)));
    if (!graph) {
        kt_detection_report("kt_conncomp_init(...) - Unable to allocate memory for g_pGraph.");
        return 0;
    }
    if (!kt_init_graph(graph, initial_capacity)) {
        std::free(graph);
        return 0;
    }
    state->graph = graph;
    return 1;
}

void kt_conncomp_deinit(kt_conncomp* state) {
    if (!state) return;
    if (state->graph) {
        kt_free_graph(state->graph);
        std::free(state->graph);
    }
    std::free(state->labels);
    std::free(state->window);
    std::free(state->runs);
    std::memset(state, 0, sizeof(*state));
}

int kt_label_image(const kt_image* mask, uint32_t threshold, kt_conncomp* state,
                   const kt_kernel* kernel) {
    if (!kt_image_consistent(mask) || mask->channels != 1) return 0;
    if (!state || !state->graph || !kt_kernel_valid(kernel)) return 0;
    kt_graph* graph = state->graph;
    if (!graph->vertices || !graph->edges || graph->capacity == 0) return 0;

    const uint32_t span_count = build_window(kernel, state);
    if (span_count == UINT32_MAX) {
        kt_detection_report("kt_label_image(...) - Unable to allocate memory for g_pLabelImg.");
        return 0;
    }
    Span* spans = reinterpret_cast<Span*>(state->window);
    const uint32_t kw = kernel->width, hw = kw / 2, hh = kernel->height / 2;
    const bool left_in_window =
        hw > 0 && kernel->cells[static_cast<size_t>(kw) * hh + hw - 1] == KT_KERNEL_INSIDE;
    return left_in_window ? label_runs(mask, threshold, state, kernel, spans, span_count)
                          : label_pixels(mask, threshold, state, kernel, spans, span_count);
}

int kt_conncomp_process(const kt_image* mask, uint32_t threshold, kt_conncomp* state,
                        const kt_kernel* kernel, kt_vertex** head, uint32_t* count) {
    if (!mask || !mask->data || mask->width == 0 || mask->height == 0) return 0;
    if (!kt_image_consistent(mask) || mask->channels != 1) return 0;
    if (!state || !state->graph || !kt_kernel_valid(kernel) || !head || !count) return 0;

    kt_clear_graph(state->graph);
    if (!kt_label_image(mask, threshold, state, kernel)) {
        *head = nullptr;
        *count = 0;
        kt_detection_report("kt_conncomp_process(...) - Unable to label image.");
        return 0;
    }
    if (!kt_resolve_graph(state->graph, head, count)) {
        kt_detection_report("kt_conncomp_process(...) - Unable to resolve graph.");
        return 0;
    }
    return 1;
}
