#include "base/frame_timing.h"

namespace frame_timing {

float frameDt(uint32_t elapsedMs) {
  float dt = static_cast<float>(elapsedMs / 1000.0);
  if (dt >= 0.5f) return 0.5f;
  if (dt == 0.0f) return 0.00001f;
  return dt;
}

bool shouldSleep(uint32_t workMs, bool uncapped) {
  return workMs <= kLongestPaddedMs && !uncapped;
}

uint32_t sleepMs(uint32_t frameStart, uint32_t now) {
  uint32_t elapsed = now - frameStart;
  return elapsed >= kFrameMs ? 0 : kFrameMs - elapsed;
}

}  // namespace frame_timing
