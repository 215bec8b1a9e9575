#include "sound/audio_stream.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

// Decoders: sound files through libsndfile, and samples held in memory. The
// voices and the mixer they feed are in mixer.cpp.

namespace audio {

namespace {

// Rates outside this range are treated as a broken header.
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 384000;
// Floats read from libsndfile per call, whatever the source's channel count.
constexpr size_t kScratchFloats = 8192;

// Samples from a file may be anything (float formats carry no range, and
// may be NaN or infinite).
float sane(float v) { return std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f; }

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

}  // namespace audio
