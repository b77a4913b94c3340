// MovingObjectParams: the moving-object detection parameters; here only the sensitivity mapping.
#include "MovingObjectParams.h"

float MovingObjectParams::getBackgroundThreshold(float s) {
    if (s < 0.0f) return 0.5f;
    if (s >= 1.0f) return 1.0f;
    if (s >= 0.5f) return (s - 0.5f) * 0.2f + 0.9f;
    return 2.0f * (s * 0.39999998f) + 0.5f;
}
