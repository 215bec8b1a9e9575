// The engine's audio output: one device (SDL's audio callback, or a
// detached mixer that the caller pulls from) and the streams played on it.
// Streams are handled from the frame loop only; the device's lock keeps
// SDL's audio thread out while a stream changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/audio_stream.h"

namespace audio {

class Stream;

class Device : public std::enable_shared_from_this<Device> {
 public:
  // Output format of every device: 16-bit stereo at this rate.
  static constexpr int kRate = 44100;

  // Opens SDL's default audio output and starts its callback (SDL's audio
  // subsystem is brought up on the way). Null on failure, `why` says why.
  static std::shared_ptr<Device> open(std::string* why = nullptr);
  // A device without SDL: nothing plays until the caller pulls frames with
  // render() (tests, offline mixing).
  static std::shared_ptr<Device> detached(int rate = kRate);

  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  int rate() const { return rate_; }
  bool isDetached() const { return !sdl_; }

  // A stream over a sound file, decoded chunk by chunk while it plays.
  // Null when the file cannot be decoded (`why` says why).
  std::shared_ptr<Stream> openFile(const std::string& path, std::string* why = nullptr);
  // A stream over any decoder.
  std::shared_ptr<Stream> openStream(std::unique_ptr<Decoder> decoder);

  // Mixes the next `frames` frames of every playing stream into `out`.
  // The SDL callback calls it; a detached device is driven by its owner.
  void render(int16_t* out, size_t frames);

  // Streams that exist on this device (playing or not).
  size_t streamCount() const { return voices_.size(); }

 private:
  friend class Stream;
  friend class AudioLock;
  Device(int rate, bool sdl) : rate_(rate), sdl_(sdl) {}
  static void callback(void* user, uint8_t* bytes, int len);
  void lock() const;
  void unlock() const;

  int rate_;
  bool sdl_;
  std::vector<Voice*> voices_;
};

// A sound on a device. Every operation takes effect at the next mixed
// buffer; the stream goes silent when its last reference is dropped.
class Stream {
 public:
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Starts or resumes playing (from the top when it had played to its end).
  void play();
  // Pauses where it is.
  void stop();
  // False once stopped or played to its end.
  bool isPlaying() const;
  // Back to the first frame; a playing stream goes on from there.
  void reset();
  void setRepeat(bool repeat);
  // 0..1.
  void setVolume(float volume);
  // -1 (left) .. 1 (right).
  void setPan(float pan);
  // Speed and pitch factor: 2 plays an octave higher in half the time.
  void setPitchShift(float pitch);

  float volume() const;
  float pan() const;
  float pitchShift() const;

 private:
  friend class Device;
  Stream(std::shared_ptr<Device> device, std::unique_ptr<Decoder> decoder);

  std::shared_ptr<Device> device_;
  std::unique_ptr<Voice> voice_;
};

}  // namespace audio
