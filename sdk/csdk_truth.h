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

// Reads one such line back (blanks allowed between the items; "person" is a person, any other
// class a vehicle). False for a line that does not parse or lists more than maxMovers movers.
bool parseTruthLine(const std::string& line, int64_t& frame, std::vector<SyntheticScene::MoverBox>& movers,
                    size_t maxMovers);

}  // namespace csdk_standin
