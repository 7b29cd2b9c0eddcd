// Where the window goes when it is shown: the stored place and size fitted into the
// screen area it will appear on, so that any stored numbers, however wild, give a window
// the user can reach and nothing overflows on the way. Plain arithmetic on 64-bit values.
#pragma once

#include <cstdint>

namespace window_placement {

// A rectangle as stored: left and top of the client area, its width and height. Wide
// enough that any stored 32-bit number can be added without overflow.
struct Box {
  std::int64_t left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

// The smallest size the window accepts.
struct MinimumSize {
  int width = 1, height = 1;
};

// The frame the window manager puts around the client area (title bar above).
struct Frame {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// Whether the window system has told the frame: a title bar above, no margin negative. A
// window not yet framed reports nothing, or passing margins made from its own size.
bool FrameKnown(Frame frame);

// The frame to fit with: the window system's once it has framed the window; before that
// (see FrameKnown), a title bar of the given height above the client area,
// so that a window placed before it is first shown keeps its title bar on the screen.
Frame AssumedFrame(Frame known, int titleBarHeight);

// The stored box fitted into the screen area: each size between the minimum and what the
// area leaves beside the frame, then the position moved as little as needed to put the
// whole framed window inside the area. A box that already fits comes back unchanged.
Box FitInto(const Box& stored, const Box& area, MinimumSize minimum, Frame frame);

// A length between low and high (low wins when the range is empty).
int Clamp(std::int64_t value, int low, int high);

}  // namespace window_placement
