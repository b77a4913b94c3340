// csdk_truth: the synthetic scene's ground truth as JSON lines, one per delivered frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "csdk_synthetic.h"

namespace csdk_standin {

// A mover counts as visible when at least this share of its box lies inside the frame.
constexpr double kTruthVisibleShare = 0.5;

// The movers of `boxes` that are visible in a width x height frame, their boxes clipped to it.
void visibleMovers(const std::vector<SyntheticScene::MoverBox>& boxes, int width, int height,
                   std::vector<SyntheticScene::MoverBox>& out);

// {"frame":N,"movers":[{"id":0,"class":"person","box":[left,top,right,bottom]},...]} (pixels of the
// delivered size, right and bottom exclusive, one decimal), visible movers only, no line break.
std::string truthLine(uint64_t frame, const std::vector<SyntheticScene::MoverBox>& visible);

}  // namespace csdk_standin
