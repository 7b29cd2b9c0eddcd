#include "window/windowPlacement.h"

#include <algorithm>

namespace window_placement {

int Clamp(std::int64_t value, int low, int high) {
  return static_cast<int>(std::max<std::int64_t>(low, std::min<std::int64_t>(value, high)));
}

bool FrameKnown(Frame frame) {
  const bool negative = frame.left < 0 || frame.right < 0 || frame.bottom < 0;
  return frame.top > 0 && !negative;
}

Frame AssumedFrame(Frame known, int titleBarHeight) {
  if (FrameKnown(known)) {
    return known;
  }
  return Frame{0, std::max(0, titleBarHeight), 0, 0};
}

Box FitInto(const Box& stored, const Box& area, MinimumSize minimum, Frame frame) {
  const std::int64_t roomWidth = area.width - frame.left - frame.right;
  const std::int64_t roomHeight = area.height - frame.top - frame.bottom;
  Box fitted;
  fitted.width = std::max<std::int64_t>(minimum.width, std::min(stored.width, roomWidth));
  fitted.height = std::max<std::int64_t>(minimum.height, std::min(stored.height, roomHeight));
  // The right and bottom edges first, then the left and top, so that a window larger than
  // the area keeps its title bar and its left edge on the screen.
  const std::int64_t lowestLeft = area.left + frame.left;
  const std::int64_t lowestTop = area.top + frame.top;
  fitted.left = std::min(stored.left, area.left + area.width - frame.right - fitted.width);
  fitted.top = std::min(stored.top, area.top + area.height - frame.bottom - fitted.height);
  fitted.left = std::max(fitted.left, lowestLeft);
  fitted.top = std::max(fitted.top, lowestTop);
  return fitted;
}

}  // namespace window_placement
