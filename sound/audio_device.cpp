#include "sound/audio_device.h"

#include <SDL/SDL.h>

#include <algorithm>

namespace audio {

namespace {
// Frames per SDL callback: about 23 ms at 44.1 kHz, short enough that a
// change made in one frame of the game is heard in the next.
constexpr Uint16 kCallbackFrames = 1024;
}  // namespace

// Keeps SDL's audio callback out for one scope (no-op on a detached device).
class AudioLock {
 public:
  explicit AudioLock(const Device& d) : d_(d) { d_.lock(); }
  ~AudioLock() { d_.unlock(); }
  AudioLock(const AudioLock&) = delete;
  AudioLock& operator=(const AudioLock&) = delete;

 private:
  const Device& d_;
};

// ----------------------------------------------------------------- device

std::shared_ptr<Device> Device::open(std::string* why) {
  std::shared_ptr<Device> dev(new Device(kRate, true));
  SDL_AudioSpec want{};
  want.freq = kRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kCallbackFrames;
  want.callback = &Device::callback;
  want.userdata = dev.get();
  // No "obtained" spec: SDL converts to whatever the hardware wants, so
  // the mixer always writes this one format.
  const bool wasUp = SDL_WasInit(SDL_INIT_AUDIO) != 0;
  if (SDL_OpenAudio(&want, nullptr) < 0) {
    if (why) *why = SDL_GetError();
    dev->sdl_ = false;  // nothing to close
    // SDL leaves its audio subsystem marked as started even when it found
    // no driver; take it down so a later attempt looks for a driver again.
    if (!wasUp && SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  SDL_PauseAudio(0);
  return dev;
}

std::shared_ptr<Device> Device::detached(int rate) {
  return std::shared_ptr<Device>(new Device(rate > 0 ? rate : kRate, false));
}

Device::~Device() {
  // Closing also ends SDL's audio subsystem (and its thread); after
  // SDL_Quit there is nothing left to close.
  if (sdl_ && SDL_WasInit(SDL_INIT_AUDIO)) SDL_CloseAudio();
}

void Device::lock() const {
  if (sdl_) SDL_LockAudio();
}

void Device::unlock() const {
  if (sdl_) SDL_UnlockAudio();
}

void Device::callback(void* user, uint8_t* bytes, int len) {
  // SDL holds the audio lock around this call.
  static_cast<Device*>(user)->render(reinterpret_cast<int16_t*>(bytes),
                                     static_cast<size_t>(len) / (2 * sizeof(int16_t)));
}

void Device::render(int16_t* out, size_t frames) {
  mix(voices_.data(), voices_.size(), out, frames, rate_);
}

std::shared_ptr<Stream> Device::openFile(const std::string& path, std::string* why) {
  auto decoder = SndfileDecoder::openFile(path, why);
  if (!decoder) return nullptr;
  return openStream(std::move(decoder));
}

std::shared_ptr<Stream> Device::openStream(std::unique_ptr<Decoder> decoder) {
  if (!decoder) return nullptr;
  std::shared_ptr<Stream> s(new Stream(shared_from_this(), std::move(decoder)));
  AudioLock lock(*this);
  voices_.push_back(s->voice_.get());
  return s;
}

// ----------------------------------------------------------------- stream

Stream::Stream(std::shared_ptr<Device> device, std::unique_ptr<Decoder> decoder)
    : device_(std::move(device)), voice_(std::make_unique<Voice>(std::move(decoder))) {}

Stream::~Stream() {
  AudioLock lock(*device_);
  auto& v = device_->voices_;
  v.erase(std::remove(v.begin(), v.end(), voice_.get()), v.end());
}

void Stream::play() {
  AudioLock lock(*device_);
  if (voice_->ended()) voice_->rewind();
  voice_->playing = true;
}

void Stream::stop() {
  AudioLock lock(*device_);
  voice_->playing = false;
}

bool Stream::isPlaying() const {
  AudioLock lock(*device_);
  return voice_->playing;
}

void Stream::reset() {
  AudioLock lock(*device_);
  voice_->rewind();
}

void Stream::setRepeat(bool repeat) {
  AudioLock lock(*device_);
  voice_->repeat = repeat;
}

void Stream::setVolume(float volume) {
  AudioLock lock(*device_);
  voice_->volume = volume;
}

void Stream::setPan(float pan) {
  AudioLock lock(*device_);
  voice_->pan = pan;
}

void Stream::setPitchShift(float pitch) {
  AudioLock lock(*device_);
  voice_->pitch = pitch;
}

float Stream::volume() const {
  AudioLock lock(*device_);
  return voice_->volume;
}

float Stream::pan() const {
  AudioLock lock(*device_);
  return voice_->pan;
}

float Stream::pitchShift() const {
  AudioLock lock(*device_);
  return voice_->pitch;
}

}  // namespace audio
