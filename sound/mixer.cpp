#include "sound/audio_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// Voices (a decoder, a position and a pitch) and the mixer that adds them
// into 16-bit stereo. The per-sample loops are here, apart from the
// decoders: the fuzz build drops comparison tracing from this file alone.

namespace audio {

namespace {

// Pitch is held inside this range so a voice never freezes or races
// through its file in a handful of output frames.
constexpr float kMinPitch = 1.0f / 16.0f;
constexpr float kMaxPitch = 16.0f;
// Frames mixed per pass of the accumulator kept on the stack.
constexpr size_t kBlockFrames = 256;

float clampf(float v, float lo, float hi) {
  if (!(v >= lo)) return lo;  // NaN lands here too
  return v > hi ? hi : v;
}

int16_t toInt16(float v) {
  float s = v * 32767.0f;
  if (!(s > -32768.0f)) return -32768;  // NaN cannot reach here, but stays safe
  if (s >= 32767.0f) return 32767;
  return static_cast<int16_t>(std::lrint(s));
}

}  // namespace

// ------------------------------------------------------------------ voice

Voice::Voice(std::unique_ptr<Decoder> decoder)
    : decoder_(std::move(decoder)), window_((kChunkFrames + 2) * 2) {}

void Voice::rewind() {
  decoder_->rewind();
  winStart_ = 0;
  winFrames_ = 0;
  sourceDone_ = false;
  ended_ = false;
  pos_ = 0.0;
}

bool Voice::fetch(int64_t idx) {
  while (idx + 1 >= winStart_ + static_cast<int64_t>(winFrames_) && !sourceDone_) {
    // Keep only what the next frame may still interpolate from: frame
    // `idx` itself, when it is already here.
    int64_t end = winStart_ + static_cast<int64_t>(winFrames_);
    int64_t keepFrom = std::min(idx, end);
    size_t drop = static_cast<size_t>(keepFrom - winStart_);
    size_t keep = winFrames_ - drop;
    if (drop && keep)
      std::memmove(window_.data(), window_.data() + drop * 2, keep * 2 * sizeof(float));
    winStart_ = keepFrom;
    winFrames_ = keep;
    size_t got = decoder_->read(window_.data() + winFrames_ * 2, kChunkFrames);
    if (got == 0) sourceDone_ = true;
    winFrames_ += got;
  }
  return idx < winStart_ + static_cast<int64_t>(winFrames_);
}

void Voice::mixInto(float* acc, size_t frames, int outRate) {
  if (!playing || outRate <= 0) return;
  float gl, gr;
  panGains(volume, pan, gl, gr);
  const double step =
      static_cast<double>(decoder_->rate()) / outRate * clampf(pitch, kMinPitch, kMaxPitch);
  for (size_t i = 0; i < frames; ++i) {
    int64_t idx = static_cast<int64_t>(pos_);
    if (idx + 1 >= winStart_ + static_cast<int64_t>(winFrames_) && !fetch(idx)) {
      // Past the last frame: once more from the top, or the end. A source
      // without a single frame never repeats (it would spin here).
      bool hadFrames = winStart_ + static_cast<int64_t>(winFrames_) > 0;
      bool again = false;
      if (repeat && hadFrames) {
        rewind();
        idx = 0;
        again = fetch(0);
      }
      if (!again) {
        playing = false;
        ended_ = true;
        return;
      }
    }
    const float* a = &window_[static_cast<size_t>(idx - winStart_) * 2];
    const float* b = idx + 1 < winStart_ + static_cast<int64_t>(winFrames_) ? a + 2 : a;
    float frac = static_cast<float>(pos_ - static_cast<double>(idx));
    acc[i * 2] += (a[0] + (b[0] - a[0]) * frac) * gl;
    acc[i * 2 + 1] += (a[1] + (b[1] - a[1]) * frac) * gr;
    pos_ += step;
  }
}

void panGains(float volume, float pan, float& left, float& right) {
  float v = clampf(volume, 0.0f, 1.0f);
  float p = clampf(pan, -1.0f, 1.0f);
  left = v * std::min(1.0f, 1.0f - p);
  right = v * std::min(1.0f, 1.0f + p);
}

void mix(Voice* const* voices, size_t count, int16_t* out, size_t frames, int outRate) {
  float acc[kBlockFrames * 2];
  for (size_t done = 0; done < frames; done += kBlockFrames) {
    size_t n = std::min(kBlockFrames, frames - done);
    std::fill_n(acc, n * 2, 0.0f);
    for (size_t v = 0; v < count; ++v)
      if (voices[v]) voices[v]->mixInto(acc, n, outRate);
    int16_t* o = out + done * 2;
    for (size_t i = 0; i < n * 2; ++i) o[i] = toInt16(acc[i]);
  }
}

}  // namespace audio
