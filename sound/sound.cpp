#include "sound/sound.h"

#include "base/globals.h"
#include "base/log.h"
#include "resources/parser.h"
#include "resources/resfile.h"

namespace {

// Gliding settles up to one step short of the target, so a fade towards
// silence would hover just above 0 for ever and never free its channel.
// Within one step of a silent target counts as silent.
bool faded(float volume, float target, float step) {
  return volume <= 0.0f || (target <= 0.0f && volume <= step);
}

void apply(const Sound::Channel& ch) {
  ch.stream->setVolume(ch.volume);
  ch.stream->setPan(ch.pan);
  ch.stream->setPitchShift(ch.pitch);
}

void setVolumeOf(Sound::Channel& ch, int volume, bool immediate) {
  // A channel faded to silence has been stopped: bring it back.
  if (ch.volume <= 0.0f) ch.stream->play();
  ch.volumeTarget = volume / 100.0f;
  if (immediate) ch.volume = ch.volumeTarget;
}

void setPanOf(Sound::Channel& ch, float pan, bool immediate) {
  ch.panTarget = pan;
  if (immediate) ch.pan = pan;
}

void setPitchOf(Sound::Channel& ch, float pitch, bool immediate) {
  ch.pitchTarget = pitch;
  if (immediate) ch.pitch = pitch;
}

}  // namespace

Sound& Sound::instance() {
  static Sound s;
  return s;
}

Sound::~Sound() { shutdown(); }

std::shared_ptr<audio::Stream> Sound::open(const std::string& file, const char* who) {
  if (!device) return nullptr;
  std::string why;
  std::shared_ptr<audio::Stream> stream;
  if (Parser(file, ":").count() >= 2) {
    // An archive entry, decoded from memory.
    const ResBuffer bytes = Resfile::instance().load(file);
    if (bytes) {
      auto decoder = audio::SndfileDecoder::openMemory(bytes.data(), bytes.size(), &why);
      if (decoder) stream = device->openStream(std::move(decoder));
    }
  } else {
    stream = device->openFile(file, &why);
  }
  if (!stream) Log::fail("%s: Nie udalo sie otworzyc pliku \"%s\"", who, file.c_str());
  return stream;
}

Sound::Channel* Sound::effect(int channel) {
  if (channel < 0 || channel >= kChannels) return nullptr;
  Channel& ch = channels[static_cast<size_t>(channel)];
  return ch.stream ? &ch : nullptr;
}

Sound::Channel* Sound::currentTrack() {
  if (music.empty() || !music.front().stream) return nullptr;
  return &music.front();
}

bool Sound::init() {
  shutdown();
  std::string why;
  return init(audio::Device::open(&why));
}

bool Sound::init(std::shared_ptr<audio::Device> dev) {
  shutdown();
  if (!dev) {
    Log::fail("Sound.init: Nie udalo sie uruchomic dzwieku");
    return false;
  }
  device = std::move(dev);
  return true;
}

void Sound::shutdown() {
  channels = {};
  music.clear();
  device.reset();
}

bool Sound::isFree(const Channel& ch) { return !ch.stream || !ch.stream->isPlaying(); }

void Sound::glide(float& v, float target, float step) {
  if (v + step < target)
    v += step;
  else if (v - step > target)
    v -= step;
}

int Sound::play(int channel, const std::string& file, int volume, float pan) {
  if (channel >= kChannels) return -1;
  if (channel < 0) {
    for (int i = 0; i < kChannels && channel < 0; ++i)
      if (isFree(channels[static_cast<size_t>(i)])) channel = i;
    if (channel < 0) {
      Log::fail("Sound.play: Nie znaleziono wolnego kanalu");
      return -1;
    }
  }
  Channel& ch = channels[static_cast<size_t>(channel)];
  ch.stream = open(file, "Sound.play");
  ch.volume = ch.volumeTarget = volume / 100.0f;
  ch.pan = ch.panTarget = pan;
  ch.pitch = ch.pitchTarget = 1.0f;
  if (!ch.stream) return -1;
  ch.stream->setRepeat(false);
  // Heard at its own volume from the first buffer, not only after the
  // next update.
  apply(ch);
  ch.stream->play();
  return channel;
}

void Sound::stop(int channel) {
  if (Channel* ch = effect(channel)) *ch = Channel{};
}

bool Sound::playMusic(const std::string& file, int volume, float pan) {
  Channel track;
  track.stream = open(file, "Sound.playMusic");
  const bool opened = track.stream != nullptr;
  track.volume = 0.0f;
  track.volumeTarget = volume / 100.0f;
  track.pan = track.panTarget = pan;
  track.pitch = track.pitchTarget = 1.0f;
  music.push_front(std::move(track));
  if (music.size() == 1) music.front().volume = music.front().volumeTarget;
  return opened;
}

void Sound::setVolume(int channel, int volume, bool immediate) {
  if (Channel* ch = effect(channel)) setVolumeOf(*ch, volume, immediate);
}

void Sound::setPan(int channel, float pan, bool immediate) {
  if (Channel* ch = effect(channel)) setPanOf(*ch, pan, immediate);
}

void Sound::setPitch(int channel, float pitch, bool immediate) {
  if (Channel* ch = effect(channel)) setPitchOf(*ch, pitch, immediate);
}

void Sound::setMusicVolume(int volume, bool immediate) {
  if (Channel* ch = currentTrack()) setVolumeOf(*ch, volume, immediate);
}

void Sound::setMusicPan(float pan, bool immediate) {
  if (Channel* ch = currentTrack()) setPanOf(*ch, pan, immediate);
}

void Sound::setMusicPitch(float pitch, bool immediate) {
  if (Channel* ch = currentTrack()) setPitchOf(*ch, pitch, immediate);
}

void Sound::update() {
  const float dt = game::dt;

  for (Channel& ch : channels) {
    if (!ch.stream) continue;
    if (!ch.stream->isPlaying()) {
      ch.stream.reset();
      continue;
    }
    const float step = kChannelVolumeRate * dt;
    glide(ch.volume, ch.volumeTarget, step);
    if (faded(ch.volume, ch.volumeTarget, step)) {
      ch.volume = 0.0f;
      ch.stream->stop();  // freed by the next update
    }
    glide(ch.pan, ch.panTarget, kPanPitchRate * dt);
    glide(ch.pitch, ch.pitchTarget, kPanPitchRate * dt);
    apply(ch);
  }

  for (auto it = music.begin(); it != music.end();) {
    Channel& track = *it;
    if (!track.stream) {
      it = music.erase(it);
      continue;
    }
    // Music repeats: a track that ran out starts again from the top.
    if (!track.stream->isPlaying()) {
      track.stream->reset();
      track.stream->play();
    }
    if (it == music.begin()) {
      const float step = kMusicVolumeRate * dt;
      glide(track.volume, track.volumeTarget, step);
      if (faded(track.volume, track.volumeTarget, step)) {
        track.volume = 0.0f;
        track.stream->stop();
      }
    } else {
      // Older tracks fade out, a second for a full volume, and go.
      track.volume -= kMusicFadeOutRate * dt;
      if (track.volume <= 0.0f) {
        it = music.erase(it);
        continue;
      }
    }
    glide(track.pan, track.panTarget, kPanPitchRate * dt);
    glide(track.pitch, track.pitchTarget, kPanPitchRate * dt);
    apply(track);
    ++it;
  }
}
