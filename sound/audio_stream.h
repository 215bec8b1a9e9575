// The sample side of the audio layer: decoders that deliver stereo float
// frames, the voice that walks through them, and the mixer that adds voices
// into the device's 16-bit stereo output. Nothing here touches SDL, so the
// mixer can be driven over plain buffers (tests, benchmarks, fuzzing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace audio {

// A source of stereo frames (interleaved left, right; -1..1). Mono sources
// are doubled onto both sides; sources with more channels keep their first two.
class Decoder {
 public:
  virtual ~Decoder() = default;
  // Frames per second of the source.
  virtual int rate() const = 0;
  // Reads up to `frames` frames into `out` (2 floats each); 0 at the end.
  virtual size_t read(float* out, size_t frames) = 0;
  // Back to the first frame; false when the source cannot go back.
  virtual bool rewind() = 0;
};

// Decodes a sound file through libsndfile (WAV, AIFF, FLAC, Ogg Vorbis and
// whatever else the installed library reads), chunk by chunk.
class SndfileDecoder : public Decoder {
 public:
  // Null when the file cannot be opened or its format is unusable; `why`
  // then says what went wrong.
  static std::unique_ptr<SndfileDecoder> openFile(const std::string& path, std::string* why);
  // The same over bytes in memory (the decoder keeps its own copy).
  static std::unique_ptr<SndfileDecoder> openMemory(const void* data, size_t size,
                                                    std::string* why);
  ~SndfileDecoder() override;

  int rate() const override { return rate_; }
  size_t read(float* out, size_t frames) override;
  bool rewind() override;
  int sourceChannels() const { return channels_; }

  struct Impl;

 private:
  explicit SndfileDecoder(std::unique_ptr<Impl> impl);
  static std::unique_ptr<SndfileDecoder> finish(std::unique_ptr<Impl> impl, std::string* why);

  std::unique_ptr<Impl> impl_;
  int rate_ = 0;
  int channels_ = 0;
  std::vector<float> scratch_;
};

// Frames already in memory (synthetic tones in tests and benchmarks).
class BufferDecoder : public Decoder {
 public:
  // `stereo` holds interleaved left/right frames.
  BufferDecoder(std::vector<float> stereo, int rate) : data_(std::move(stereo)), rate_(rate) {}
  static std::unique_ptr<BufferDecoder> mono(const std::vector<float>& samples, int rate);

  int rate() const override { return rate_; }
  size_t read(float* out, size_t frames) override;
  bool rewind() override {
    at_ = 0;
    return true;
  }

 private:
  std::vector<float> data_;
  int rate_;
  size_t at_ = 0;
};

// One playing sound as the mixer sees it: the controls its owner sets and
// the position the mixer advances. The owner and the mixer must not touch
// one voice at the same time (the device's lock keeps them apart).
class Voice {
 public:
  explicit Voice(std::unique_ptr<Decoder> decoder);

  // Controls. Volume 0..1, pan -1 (left) .. 1 (right), pitch as a factor of
  // the source's speed; the mixer clamps them to what it can play.
  bool playing = false;
  bool repeat = false;
  float volume = 1.0f;
  float pan = 0.0f;
  float pitch = 1.0f;

  // Set by the mixer when the last frame has been played (and not repeated).
  bool ended() const { return ended_; }
  // Back to the first frame.
  void rewind();
  // Position in source frames (fractional while resampling).
  double position() const { return pos_; }
  int rate() const { return decoder_->rate(); }

  // Adds `frames` output frames at `outRate` into `acc` (interleaved
  // stereo floats). Stops the voice when its source runs out.
  void mixInto(float* acc, size_t frames, int outRate);

  // Decoded frames are fetched this many at a time.
  static constexpr size_t kChunkFrames = 2048;

 private:
  // Makes frame `idx` (and its successor, when there is one) available in
  // the window; false when the source ends before `idx`.
  bool fetch(int64_t idx);

  std::unique_ptr<Decoder> decoder_;
  std::vector<float> window_;  // frames [winStart_, winStart_ + winFrames_)
  int64_t winStart_ = 0;
  size_t winFrames_ = 0;
  bool sourceDone_ = false;
  bool ended_ = false;
  double pos_ = 0.0;
};

// Output gains of a voice for its volume and pan: the centre leaves both
// sides at full volume, a pan to one side fades the other side out linearly.
void panGains(float volume, float pan, float& left, float& right);

// Mixes the playing voices into `out` (`frames` interleaved stereo 16-bit
// frames at `outRate`), overwriting it; the sum is clipped to 16 bits.
void mix(Voice* const* voices, size_t count, int16_t* out, size_t frames, int outRate);

}  // namespace audio
