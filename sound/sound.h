// The engine's sound service: one output device, 16 numbered effect
// channels and a music list that cross-fades between tracks. Callers set
// targets; the per-frame update glides the heard values towards them.
//
// The program plays through one process-wide service (`instance()`, run by
// start-up, the frame loop, the script API and the dialog); tests and tools
// may build services of their own beside it, on detached devices.
//
// Sound files are named like every other resource: "archive:entry" is read
// from an archive and decoded from memory, a name without a colon is a file
// on disk. Any format libsndfile reads will do (WAV, FLAC, Ogg Vorbis, ...).
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

  Sound() = default;
  ~Sound();
  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;

  // The program's service.
  static Sound& instance();

  // Opens the default output device. Prints the failure line and returns
  // false without one (the program cannot start then).
  bool init();
  // Runs the service on a device the caller made (a detached one in tests).
  bool init(std::shared_ptr<audio::Device> dev);
  // Drops every channel, track and the device (at exit; init may follow).
  void shutdown();

  // Plays `file` on `channel` (0..15) at `volume` percent and `pan`; a
  // negative channel takes the first free one, a channel above 15 does
  // nothing. Returns the channel that plays, or -1 when nothing does (no
  // free channel, or the file could not be opened: its FAIL line names it).
  int play(int channel, const std::string& file, int volume, float pan);
  // Silences a channel at once and frees it.
  void stop(int channel);
  // Puts a new track in front of the music list; it fades in while the
  // older ones fade out, and starts at the next update. False (with the
  // FAIL line) when the file cannot be opened: the playing track stays.
  bool playMusic(const std::string& file, int volume, float pan);

  // For channels 0..15 with a stream: set the target (and the current value
  // too when `immediate`). setVolume restarts a channel faded to silence.
  void setVolume(int channel, int volume, bool immediate);
  void setPan(int channel, float pan, bool immediate);
  void setPitch(int channel, float pitch, bool immediate);
  // The same for the current (first) music track.
  void setMusicVolume(int volume, bool immediate);
  void setMusicPan(float pan, bool immediate);
  void setMusicPitch(float pitch, bool immediate);

  // Once per frame: frees finished channels, glides every value by the
  // frame time, cross-fades and repeats the music, hands the values to the
  // streams.
  void update();

  // Moves `v` one `step` towards `target`, or leaves it when it is within
  // one step (values settle near their target, never snapping onto it).
  static void glide(float& v, float target, float step);
  // True when a channel is free for play(-1).
  static bool isFree(const Channel& ch);

  // Declared first, destroyed last: after every stream that plays on it.
  std::shared_ptr<audio::Device> device;
  std::array<Channel, kChannels> channels;
  // Newest first: the first track is the current one, the others fade out.
  std::list<Channel> music;

  // Glide rates, per second.
  static constexpr float kChannelVolumeRate = 0.5f;
  static constexpr float kMusicVolumeRate = 1.0f;
  static constexpr float kPanPitchRate = 1.0f;
  static constexpr float kMusicFadeOutRate = 1.0f;

 private:
  // A stream over a resource name or a path; null (FAIL line with `who`)
  // when it cannot be read or decoded.
  std::shared_ptr<audio::Stream> open(const std::string& file, const char* who);
  Channel* effect(int channel);
  Channel* currentTrack();
};
