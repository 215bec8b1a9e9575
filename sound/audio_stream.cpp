#include "sound/audio_stream.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace audio {

namespace {

// Rates outside this range are treated as a broken header.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 384000;
// Pitch is held inside this range so a voice never freezes or races
// through its file in a handful of output frames.
constexpr float kMinPitch = 1.0f / 16.0f;
constexpr float kMaxPitch = 16.0f;
// Frames mixed per pass of the accumulator kept on the stack.
constexpr size_t kBlockFrames = 256;
// Floats read from libsndfile per call, whatever the source's channel count.
constexpr size_t kScratchFloats = 8192;

float clampf(float v, float lo, float hi) {
  if (!(v >= lo)) return lo;  // NaN lands here too
  return v > hi ? hi : v;
}

// Samples from a file may be anything (float formats carry no range).
float sane(float v) { return std::isfinite(v) ? clampf(v, -1.0f, 1.0f) : 0.0f; }

int16_t toInt16(float v) {
  float s = v * 32767.0f;
  if (!(s > -32768.0f)) return -32768;  // NaN cannot reach here, but stays safe
  if (s >= 32767.0f) return 32767;
  return static_cast<int16_t>(std::lrint(s));
}

}  // namespace

// ---------------------------------------------------------------- sndfile

struct SndfileDecoder::Impl {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  // Memory-backed sources: the bytes and the read position.
  std::vector<unsigned char> mem;
  sf_count_t at = 0;

  ~Impl() {
    if (file) sf_close(file);
  }

  static sf_count_t length(void* user) { return static_cast<Impl*>(user)->mem.size(); }
  static sf_count_t seek(sf_count_t offset, int whence, void* user) {
    Impl* self = static_cast<Impl*>(user);
    sf_count_t size = static_cast<sf_count_t>(self->mem.size());
    sf_count_t base = whence == SEEK_CUR ? self->at : whence == SEEK_END ? size : 0;
    sf_count_t to = base + offset;
    if (to < 0 || to > size) return -1;
    self->at = to;
    return to;
  }
  static sf_count_t read(void* ptr, sf_count_t count, void* user) {
    Impl* self = static_cast<Impl*>(user);
    sf_count_t size = static_cast<sf_count_t>(self->mem.size());
    if (count <= 0 || self->at >= size) return 0;
    sf_count_t n = std::min(count, size - self->at);
    std::memcpy(ptr, self->mem.data() + self->at, static_cast<size_t>(n));
    self->at += n;
    return n;
  }
  static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t tell(void* user) { return static_cast<Impl*>(user)->at; }
};

SndfileDecoder::SndfileDecoder(std::unique_ptr<Impl> impl)
    : impl_(std::move(impl)),
      rate_(impl_->info.samplerate),
      channels_(impl_->info.channels),
      scratch_(kScratchFloats) {}

SndfileDecoder::~SndfileDecoder() = default;

std::unique_ptr<SndfileDecoder> SndfileDecoder::finish(std::unique_ptr<Impl> impl,
                                                       std::string* why) {
  auto fail = [&](const std::string& text) -> std::unique_ptr<SndfileDecoder> {
    if (why) *why = text;
    return nullptr;
  };
  if (!impl->file) return fail(sf_strerror(nullptr));
  const SF_INFO& info = impl->info;
  if (info.channels < 1 || static_cast<size_t>(info.channels) > kScratchFloats / 8)
    return fail("channels: " + std::to_string(info.channels));
  if (info.samplerate < kMinRate || info.samplerate > kMaxRate)
    return fail("rate: " + std::to_string(info.samplerate));
  // Float sources come out as they are; integer ones are scaled to -1..1.
  sf_command(impl->file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  return std::unique_ptr<SndfileDecoder>(new SndfileDecoder(std::move(impl)));
}

std::unique_ptr<SndfileDecoder> SndfileDecoder::openFile(const std::string& path,
                                                         std::string* why) {
  auto impl = std::make_unique<Impl>();
  impl->file = sf_open(path.c_str(), SFM_READ, &impl->info);
  return finish(std::move(impl), why);
}

std::unique_ptr<SndfileDecoder> SndfileDecoder::openMemory(const void* data, size_t size,
                                                           std::string* why) {
  auto impl = std::make_unique<Impl>();
  const auto* bytes = static_cast<const unsigned char*>(data);
  impl->mem.assign(bytes, bytes + size);
  static SF_VIRTUAL_IO io = {&Impl::length, &Impl::seek, &Impl::read, &Impl::write, &Impl::tell};
  impl->file = sf_open_virtual(&io, SFM_READ, &impl->info, impl.get());
  return finish(std::move(impl), why);
}

size_t SndfileDecoder::read(float* out, size_t frames) {
  size_t done = 0;
  const size_t ch = static_cast<size_t>(channels_);
  const size_t perRead = scratch_.size() / ch;
  while (done < frames) {
    sf_count_t want = static_cast<sf_count_t>(std::min(perRead, frames - done));
    sf_count_t got = sf_readf_float(impl_->file, scratch_.data(), want);
    if (got <= 0) break;
    for (sf_count_t i = 0; i < got; ++i) {
      const float* in = &scratch_[static_cast<size_t>(i) * ch];
      float* o = out + (done + static_cast<size_t>(i)) * 2;
      o[0] = sane(in[0]);
      o[1] = ch > 1 ? sane(in[1]) : o[0];
    }
    done += static_cast<size_t>(got);
    if (got < want) break;
  }
  return done;
}

bool SndfileDecoder::rewind() { return sf_seek(impl_->file, 0, SEEK_SET) == 0; }

// ----------------------------------------------------------------- buffer

std::unique_ptr<BufferDecoder> BufferDecoder::mono(const std::vector<float>& samples, int rate) {
  std::vector<float> stereo;
  stereo.reserve(samples.size() * 2);
  for (float s : samples) {
    stereo.push_back(s);
    stereo.push_back(s);
  }
  return std::make_unique<BufferDecoder>(std::move(stereo), rate);
}

size_t BufferDecoder::read(float* out, size_t frames) {
  size_t left = (data_.size() - at_) / 2;
  size_t n = std::min(frames, left);
  std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(at_), n * 2, out);
  at_ += n * 2;
  return n;
}

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
