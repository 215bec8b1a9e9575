// Fixed-step clock for script callbacks: periodic script functions run every
// 16 ms of game time, however long or short the frames are.
#pragma once

#include <type_traits>

class Periodic {
 public:
  static constexpr float kStepMs = 16.0f;

  // Adds `dt` seconds of game time, then calls `fn` once for every whole
  // step gathered: several times after a long frame, not at all after a
  // short one until enough time has gathered. There is no cap.
  //
  // The step is taken off the clock before `fn` runs. When `fn` returns a
  // bool, false stops the loop at once without touching the clock again
  // (the callback may have destroyed the clock's owner). Returns the number
  // of calls made.
  template <class Fn>
  int advance(float dt, Fn&& fn) {
    ms_ += 1000.0f * dt;
    int calls = 0;
    while (ms_ >= kStepMs) {
      ms_ -= kStepMs;
      ++calls;
      if constexpr (std::is_void_v<std::invoke_result_t<Fn&>>) {
        fn();
      } else {
        if (!fn()) return calls;
      }
    }
    return calls;
  }

  // Milliseconds gathered but not yet consumed by a step.
  float ms() const { return ms_; }
  void reset() { ms_ = 0.0f; }

 private:
  float ms_ = 0.0f;
};
