// MovingObjectParams: the moving-object detection parameters; here only the sensitivity mapping.
#pragma once

class MovingObjectParams {
public:
    // Maps the user's sensitivity s (0..1) to the background-model threshold fraction:
    // s < 0 gives 0.5, s >= 1 gives 1.0, s >= 0.5 gives (s - 0.5) x 0.2 + 0.9, anything else
    // 2 x (s x 0.39999998) + 0.5; single precision throughout. NaN falls to the last branch.
    static float getBackgroundThreshold(float s);
};
