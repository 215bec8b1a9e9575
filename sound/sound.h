// The engine's sound service: one output device, 16 numbered effect
// channels and a music list that cross-fades between tracks. Callers set
// targets; the per-frame update glides the heard values towards them.
#pragma once

#include <array>
#include <list>
#include <memory>
#include <string>

#include "sound/audio_device.h"

class Sound {
 public:
  static constexpr int kChannels = 16;

  struct Channel {
    std::shared_ptr<audio::Stream> stream;
    float volume = 1.0f;
    float volumeTarget = 1.0f;
    float pan = 0.0f;
    float panTarget = 0.0f;
    float pitch = 1.0f;
    float pitchTarget = 1.0f;
  };

  // Opens the default output device. Prints the failure line and returns
  // false without one (the program cannot start then).
  static bool init();
  // Runs the service on a device the caller made (a detached one in tests).
  static bool init(std::shared_ptr<audio::Device> dev);
  // Drops every channel, track and the device (at exit; init may follow).
  static void shutdown();

  // Plays `file` on `channel` (0..15) at `volume` percent and `pan`; a
  // negative channel takes the first free one, a channel above 15 does nothing.
  static void play(int channel, const std::string& file, int volume, float pan);
  // Puts a new track in front of the music list; it fades in while the
  // older ones fade out, and starts at the next update.
  static void playMusic(const std::string& file, int volume, float pan);

  // For channels 0..15 with a stream: set the target (and the current value
  // too when `immediate`). setVolume restarts a channel faded to silence.
  static void setVolume(int channel, int volume, bool immediate);
  static void setPan(int channel, float pan, bool immediate);
  static void setPitch(int channel, float pitch, bool immediate);
  // The same for the current (first) music track.
  static void setMusicVolume(int volume, bool immediate);
  static void setMusicPan(float pan, bool immediate);
  static void setMusicPitch(float pitch, bool immediate);

  // Once per frame: frees finished channels, glides every value by the
  // frame time, cross-fades and repeats the music, hands the values to the
  // streams.
  static void update();

  // Moves `v` one `step` towards `target`, or leaves it when it is within
  // one step (values settle near their target, never snapping onto it).
  static void glide(float& v, float target, float step);
  // True when a channel is free for play(-1).
  static bool isFree(const Channel& ch);

  static std::shared_ptr<audio::Device> device;
  static std::array<Channel, kChannels> channels;
  // Newest first: the first track is the current one, the others fade out.
  static std::list<Channel> music;

  // Glide rates, per second.
  static constexpr float kChannelVolumeRate = 0.5f;
  static constexpr float kMusicVolumeRate = 1.0f;
  static constexpr float kPanPitchRate = 1.0f;
  static constexpr float kMusicFadeOutRate = 1.0f;
};
