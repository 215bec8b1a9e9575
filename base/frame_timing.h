// The frame loop's pacing rules as pure functions.
#pragma once

#include <cstdint>

namespace frame_timing {

// Frames whose work took at most this many ms are padded to kFrameMs.
constexpr uint32_t kLongestPaddedMs = 14;
constexpr uint32_t kFrameMs = 16;

// Frame time in seconds for a frame that took `elapsedMs`: 0.5 at most,
// 0.00001 for a frame of 0 ms (so no update ever sees a zero step).
float frameDt(uint32_t elapsedMs);

// Whether the loop waits at all: only when the frame's work took at most
// 14 ms and the frame cap is on (Right Shift not held).
bool shouldSleep(uint32_t workMs, bool uncapped);

// How long to wait so the frame lasts 16 ms from `frameStart`, measured at
// `now`; never negative (0 when the frame is already that long). Unsigned
// tick arithmetic, so a wrapped tick counter still gives the right answer.
uint32_t sleepMs(uint32_t frameStart, uint32_t now);

}  // namespace frame_timing
