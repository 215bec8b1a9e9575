// Animation records of a sprite: reading the definition entry and the
// playback clock shared by everything that shows an animated sprite.
#include <cmath>
#include <new>

#include "base/log.h"
#include "render/sprite.h"
#include "resources/parser.h"
#include "resources/resfile.h"

namespace {

// Frames of one animation lie side by side in an image of at most 16384
// pixels, so no real animation has more; the cap keeps a hostile count
// from taking all memory.
constexpr int64_t kMaxFrames = 16384;
// All frames of one sprite together (16 bytes each): a tile sheet of
// 16384 x 16384 pixels has 262144 tiles of 32 x 32.
constexpr int64_t kMaxTotalFrames = int64_t(1) << 20;

// Reads words first .. first + n - 1 as numbers; false when one is negative
// (a negative size or position has no meaning and would turn into a huge
// unsigned value).
bool readNumbers(const Parser& words, int first, int n, uint32_t* out) {
  for (int i = 0; i < n; ++i) {
    const int v = words.val(first + i);
    if (v < 0) return false;
    out[i] = static_cast<uint32_t>(v);
  }
  return true;
}

void badLine(const std::string& line) {
  Log::info("Sprite.loadAnim: Bledna linia (\"%s\")\n", line.c_str());
}

}  // namespace

void Sprite::setWholeImageAnim() {
  anims.clear();
  animsByName.clear();
  Anim a;
  a.w = static_cast<uint32_t>(width);
  a.h = static_cast<uint32_t>(height);
  a.boxX2 = a.w;
  a.boxY2 = a.h;
  a.frames.emplace_back();
  anims.push_back(std::move(a));
}

bool Sprite::loadAnims(const char* name) {
  if (!name) return false;
  if (Parser(name, ":").count() < 2) {
    setWholeImageAnim();
    return true;
  }
  std::string file;
  try {
    file = resourceFileName(name, ".txt");
  } catch (const std::bad_alloc&) {
    Log::fail("Sprite.loadAnims: Nie udalo sie zajac pamieci na nazwe pliku");
    return false;
  }
  anims.clear();
  animsByName.clear();
  ResBuffer text = Resfile::instance().load(file);
  if (!text) {
    Log::fail("Sprite.loadAnims: Nie znaleziono informacji o animacjach, uzywanie calego obrazka");
    setWholeImageAnim();
    return true;
  }
  return parseAnims(text.c_str());
}

bool Sprite::parseAnims(const char* text) {
  anims.clear();
  animsByName.clear();
  if (!text) return false;
  std::vector<std::pair<std::string, uint32_t>> names;
  int64_t totalFrames = 0;
  Parser lines(text, "\r\n");
  const int lineCount = lines.count();
  for (int li = 0; li < lineCount; ++li) {
    const std::string line = lines.show(li);
    Parser words(line, " \t");
    const int n = words.count();
    if (n == 0) continue;
    const std::string first = words.show(0);
    if (first == "--") continue;

    if (first == "anim") {
      if (n < 6) {
        Log::info("Sprite.loadAnim: Brak wymaganych informacji (\"%s\")\n", line.c_str());
        break;
      }
      Anim a;
      uint32_t v[5];
      if (!readNumbers(words, 1, 5, v)) {
        badLine(line);
        continue;
      }
      a.x = v[0], a.y = v[1], a.w = v[2], a.h = v[3], a.speed = v[4];
      a.boxX2 = a.w;
      a.boxY2 = a.h;
      if (n >= 7 && !readNumbers(words, 6, 1, &a.loopFrame)) {
        badLine(line);
        continue;
      }
      if (n >= 11) {
        uint32_t box[4];
        if (!readNumbers(words, 7, 4, box)) {
          badLine(line);
          continue;
        }
        a.boxX1 = box[0], a.boxY1 = box[1], a.boxX2 = box[2], a.boxY2 = box[3];
      }
      anims.push_back(std::move(a));
      if (n >= 12) names.emplace_back(words.show(11), static_cast<uint32_t>(anims.size() - 1));
    } else if (first == "frame") {
      // Frames belong to the animation above them; without one there is
      // nothing to attach them to.
      if (anims.empty()) {
        badLine(line);
        continue;
      }
      const int count = words.val(1);
      Frame f;
      if (count >= 1 && n >= 4) {
        uint32_t v[4];
        const int given = n >= 6 ? 4 : 2;
        if (!readNumbers(words, 2, given, v)) {
          badLine(line);
          continue;
        }
        f.offsetX = v[0], f.offsetY = v[1];
        f.offsetX2 = given == 4 ? v[2] : v[0];
        f.offsetY2 = given == 4 ? v[3] : v[1];
      }
      std::vector<Frame>& frames = anims.back().frames;
      const int64_t add = count < 1 ? 1 : count;
      if (int64_t(frames.size()) + add > kMaxFrames || totalFrames + add > kMaxTotalFrames) {
        badLine(line);
        continue;
      }
      frames.insert(frames.end(), static_cast<size_t>(add), f);
      totalFrames += add;
    } else if (words.isVal(0)) {
      if (n < 7) continue;
      const int count = words.val(0);
      uint32_t v[6];
      Anim a;
      if (!readNumbers(words, 1, 6, v) || (n >= 8 && !readNumbers(words, 7, 1, &a.speed)) ||
          (n >= 9 && !readNumbers(words, 8, 1, &a.loopFrame)) || count > kMaxFrames ||
          totalFrames + count > kMaxTotalFrames) {
        badLine(line);
        continue;
      }
      a.x = v[0], a.y = v[1], a.w = v[2], a.h = v[3];
      a.boxX2 = a.w;
      a.boxY2 = a.h;
      if (count > 0) {
        a.frames.assign(static_cast<size_t>(count), Frame{v[4], v[5], v[4], v[5]});
        totalFrames += count;
      }
      anims.push_back(std::move(a));
    }
  }
  for (const auto& named : names) animsByName[named.first] = named.second;
  for (Anim& a : anims)
    if (a.frames.empty()) a.frames.emplace_back();
  return !anims.empty();
}

const Sprite::Anim* Sprite::getAnim(uint32_t index) const {
  return index < anims.size() ? &anims[index] : nullptr;
}

const Sprite::Anim* Sprite::findAnim(const char* name) {
  if (!name) return nullptr;
  auto it = animsByName.find(name);
  if (it != animsByName.end()) return getAnim(it->second);
  // An unknown name is remembered as animation 0, so a character whose
  // sprite lacks it keeps showing something from then on.
  animsByName.emplace(name, 0u);
  return nullptr;
}

int Sprite::indexOf(const Anim* anim) const {
  if (!anim || anims.empty() || anim < anims.data() || anim >= anims.data() + anims.size())
    return -1;
  return static_cast<int>(anim - anims.data());
}

void advanceAnimClock(float& timer, uint32_t& frame, uint32_t frameCount, uint32_t loopFrame,
                      float rate, float dt) {
  if (frameCount <= 1) return;
  timer += rate * dt;
  if (!std::isfinite(timer)) {
    timer = 0.0f;
    return;
  }
  if (timer > 1.0f) {
    // All whole steps at once, so that a huge rate or frame time cannot
    // spin; for the timers that occur this equals subtracting 1 repeatedly.
    const float steps = std::ceil(timer - 1.0f);
    timer -= steps;
    const double next = double(frame) + double(steps);
    frame = next < double(frameCount) ? static_cast<uint32_t>(next) : frameCount;
  }
  if (frame >= frameCount) frame = loopFrame < frameCount ? loopFrame : frameCount - 1;
}

void advanceAnimClock(float& timer, uint32_t& frame, const Sprite::Anim& anim, float ownSpeed,
                      float dt) {
  const float rate = ownSpeed != 0.0f ? ownSpeed : static_cast<float>(anim.speed);
  advanceAnimClock(timer, frame, static_cast<uint32_t>(anim.frames.size()), anim.loopFrame, rate,
                   dt);
}
