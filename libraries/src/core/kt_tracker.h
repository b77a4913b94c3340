/* kt_tracker: the blob tracker. It follows the blobs of the connected-components step (a kt_vertex
 * list) from frame to frame as tracked objects kept in a kt_object_list.
 *
 * Use, once per frame and per list:
 *     kt_object_list list;                       // owned by the caller
 *     kt_object_list_init(&list, 0);             // 0 normal mode, 1 static mode
 *     kt_tracker_input in = {...};               // image, mask, blobs, blob_count, now, ...
 *     kt_tracker_process(&in, &list);            // or kt_tracker_static_process for a static list
 *     for (kt_object* o = list.head; o; o = o->next) ...   // id, box, flags, lost_since, shared
 *     kt_object_list_free(&list);
 * The caller may set list.next_id before a frame (ids continue from it) and read it after.
 *
 * This header holds the records and the list lifecycle; it includes the rest of the tracker:
 * kt_tracker_object.h (one object: creation, prediction, edge tests, update), kt_tracker_candidates.h
 * (candidates, weighing, heap sort, linking), kt_tracker_passes.h (linking passes),
 * kt_tracker_grid.h (overlap search) and kt_tracker_step.h (the per-frame steps).
 * Plain functions: none throws or logs; allocation failures are not reported and degrade the frame
 * (fewer blobs or candidates considered) without ever reading or writing out of bounds. */
#pragma once

#include <cstdint>

#include "kt_bbox.h"
#include "kt_conncomp_vertex.h"
#include "kt_histogram.h"
#include "kt_image.h"
#include "kt_running_avg.h"
#include "kt_segment.h"
#include "kt_tracker_grid.h"

/* Regions of a box that are described by one histogram each. */
enum { KT_REGION_TOP, KT_REGION_BOTTOM, KT_REGION_RIGHT, KT_REGION_LEFT, KT_REGION_WHOLE, KT_REGIONS };

/* kt_object.flags */
#define KT_OBJECT_NASCENT 0x01u      /* fewer than `maturity` matched updates */
#define KT_OBJECT_NEAR_EDGE 0x02u    /* predicted box within 7 pixels of the image border */
#define KT_OBJECT_NEAR_SEGMENT 0x04u /* predicted box within 7 pixels of an occluding segment */

/* Initial buffer capacities (records). */
#define KT_TRACKER_INITIAL_CANDIDATES 100u
#define KT_TRACKER_INITIAL_INFOS 10u

/* Filled by the caller for every call; nothing in it is kept after the call. */
typedef struct kt_tracker_input {
    const kt_image* image;      /* colour frame, four channels (blue, green, red, fourth); another
                                   channel count gives empty histograms. Its size drives the edge test */
    const kt_image* mask;       /* one-channel foreground mask restricting the histograms, or null */
    const kt_vertex* blobs;     /* this frame's blobs; the box is x, y, width, height as stored */
    int32_t blob_count;         /* blobs to take; never more than the list holds, negative takes none */
    float min_new_confidence;   /* a blob starts a new object only with confidence >= this; the
                                   largest float starts none */
    uint32_t now;               /* frame time, ms */
    uint32_t lost_timeout;      /* ms an unmatched mature object may coast */
    const kt_segment* segments; /* occluding lines, or null */
    uint32_t segment_count;
    uint8_t maturity;           /* matched updates after which an object stops being nascent */
    uint8_t update_near_edges;  /* 0: objects near the edge or a segment keep appearance and size */
    uint8_t max_per_blob;       /* objects that may be linked to one blob */
} kt_tracker_input;

/* One blob of the current frame (in the list's buffer; rebuilt every frame). */
typedef struct kt_blob_info {
    const kt_vertex* vertex;
    kt_histogram hist[KT_REGIONS]; /* top, bottom, right, left, whole (KT_REGION_*) */
    float confidence;              /* copied from the vertex */
    uint8_t claims;                /* objects linked to the blob this frame */
} kt_blob_info;

struct kt_object;

/* A possible (object, blob) link of the current frame. */
typedef struct kt_candidate {
    float score;        /* first the overlap ratio, then the weighted score */
    float appearance;   /* mean histogram similarity of the five regions */
    float width_match;  /* 1 - |avg width - blob width| / (avg width + blob width) */
    float height_match;
    kt_blob_info* blob;
    struct kt_object* object;
} kt_candidate;

/* A tracked blob (heap record owned by its list). */
typedef struct kt_object {
    uint32_t id;
    kt_blob_info* match;  /* blob linked this frame; null outside kt_tracker_process */
    kt_bbox box;          /* last matched box */
    kt_bbox predicted;    /* box expected in the current frame */
    kt_bbox first_box;    /* box at creation */
    uint8_t shared;       /* the last matched blob had more than one claim */
    uint8_t flags;        /* KT_OBJECT_* */
    float confidence;     /* of the last matched blob */
    float last_score;
    float last_appearance;
    float last_width_match;
    float last_height_match;
    kt_running_avg motion[4]; /* normal mode: per-frame change of x, y, width, height;
                                 static mode: x, y, width, height themselves */
    kt_running_avg avg_width;
    kt_running_avg avg_height;
    kt_histogram hist[KT_REGIONS]; /* appearance: top, bottom, right, left, whole */
    struct kt_object* next;
    uint32_t lost_since; /* ms when first unmatched; 0 while matched */
    uint32_t created;    /* ms of creation */
    uint32_t updates;    /* matched frames so far */
} kt_object;

/* The tracker's state for one detection source. Plain record: kt_object_list_init, then
 * kt_object_list_free. */
typedef struct kt_object_list {
    uint32_t next_id;             /* id of the next new object; starts at 1, never 0 */
    uint32_t count;               /* objects in head */
    kt_object* head;              /* tracked objects, newest first */
    kt_object* free;              /* removed records, freed at the next list update unless reused */
    kt_candidate* candidates;     /* this frame's candidates */
    uint32_t candidate_capacity;  /* records; grows on demand, never shrinks */
    kt_blob_info* infos;          /* this frame's blobs */
    uint32_t info_capacity;       /* records */
    uint8_t static_mode;
    uint32_t candidate_count;     /* candidates produced in the last frame */
    uint32_t info_count;          /* blobs taken in the last frame */
    kt_blob_grid grid;            /* overlap search over this frame's blobs */
} kt_object_list;

/* Sets next_id 1, empties both object lists and allocates 100 candidates and 10 blob infos (a failed
 * allocation leaves that capacity 0; it is retried when needed). The record is overwritten, so a
 * live list must be freed first. Returns 1; 0 for a null list. */
int kt_object_list_init(kt_object_list* list, int static_mode);

/* Frees every object of both lists and every buffer, and leaves the record empty (count 0, null
 * pointers, capacities 0); next_id and static_mode are kept. Null ignored. */
void kt_object_list_free(kt_object_list* list);

/* The object with that id, or null (also for a null list). */
kt_object* kt_object_list_find(kt_object_list* list, uint32_t id);

/* Moves the object with that id to `free` (count - 1). 1 if found, else 0. */
int kt_object_list_remove(kt_object_list* list, uint32_t id);

/* Unlinks the object held by *link (a pointer to head or to some object's next) into `free`
 * (count - 1). 1; 0 for null arguments or an empty link. */
int kt_object_list_erase(kt_object_list* list, kt_object** link);

/* Starts an object from a blob: takes a record from `free` (else the heap), gives it next_id (then
 * incremented, skipping 0 on wrap), initialises it in the list's mode, puts it at the head and counts
 * it. Returns the object, or null for null arguments or when no record can be allocated. */
kt_object* kt_object_list_push(const kt_tracker_input* input, kt_object_list* list,
                               const kt_blob_info* info);

/* Sizes the blob buffers for n blobs: the info capacity becomes 2n when below n and is halved when
 * above 10 with n below a third of it; the grid's per-blob arrays follow. Candidates are not sized
 * here (kt_object_list_reserve_candidates grows them to what is produced). Contents are not kept.
 * Returns 1 when the infos hold at least n records, 0 otherwise (the old buffer stays usable). */
int kt_object_list_resize_buffers(kt_object_list* list, uint32_t n);

/* Makes room for need candidates keeping the first `keep` ones: when need exceeds the capacity it
 * becomes 2 x need (need when that overflows or fails). Never shrinks. 1 when the buffer holds need
 * records, else 0 with the buffer unchanged. */
int kt_object_list_reserve_candidates(kt_object_list* list, uint32_t need, uint32_t keep);

/* Bytes held by the list: buffers at capacity and object records in both lists. */
uint64_t kt_object_list_bytes(const kt_object_list* list);

#include "kt_tracker_candidates.h"
#include "kt_tracker_object.h"
#include "kt_tracker_passes.h"
#include "kt_tracker_step.h"
