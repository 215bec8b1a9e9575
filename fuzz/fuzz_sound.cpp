// Sound files from memory: what libsndfile accepts decodes and mixes to its end within the
// voice's window and the 16-bit range, and a repeating voice comes round again.
#include <vector>

#include "fuzz/fuzz_util.h"
#include "sound/audio_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto decoder = audio::SndfileDecoder::openMemory(data, size, nullptr);
  if (!decoder) return 0;
  audio::Voice voice(std::move(decoder));
  voice.playing = true;
  // The first byte picks a pitch, so resampling in both directions is covered.
  voice.pitch = size ? 0.25f + (data[0] % 16) * 0.25f : 1.0f;
  voice.pan = -0.5f;
  audio::Voice* list[] = {&voice};
  std::vector<int16_t> out(1024 * 2);
  auto mix = [&] { audio::mix(list, 1, out.data(), 1024, 44100); };
  // Up to ten seconds of output; long inputs are cut short, not an error.
  for (int block = 0; block < 430 && voice.playing; ++block) mix();
  if (voice.playing) return 0;
  if (!voice.ended()) std::abort();
  mix();
  for (int16_t s : out)
    if (s != 0) std::abort();  // after the end: silence
  voice.repeat = true;
  voice.rewind();
  voice.playing = true;
  mix();
  return 0;
}
