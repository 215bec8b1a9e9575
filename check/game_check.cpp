#include "check/game_check.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string_view>
#include <tuple>

#include "base/log.h"
#include "check/check_shader.h"
#include "dialog/dialog_commands.h"
#include "render/png_check.h"
#include "render/sprite.h"
#include "resources/ini_file.h"
#include "resources/parser.h"
#include "resources/resfile.h"
#include "script/lua.h"
#include "world/frame.h"
#include "world/level_commands.h"
#include "world/npc.h"
#include "world/player.h"

namespace fs = std::filesystem;

std::string CheckProblem::text() const {
  const std::string raw =
      line > 0 ? path + ":" + std::to_string(line) + ": " + message : path + ": " + message;
  // Quoted words come straight from the game's files: a control byte in one
  // (a NUL cut the line where C strings end, a CR overwrote it on a terminal)
  // is written as \xNN so that every problem stays whole, on its own line.
  std::string out;
  for (const char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b != 0x7f) {
      out += c;
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += {'\\', 'x', kHex[b >> 4], kHex[b & 15]};
    }
  }
  return out;
}

namespace {

constexpr const char* kWordSeps = " \t";

bool isWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Whether the source declares "void NAME(" (blanks allowed around NAME, at
// least one after "void"); NAME's non-word characters are ignored, as the
// shader compiler would never accept them anyway.
bool declaresVoidFunction(const std::string& src, const std::string& entry) {
  std::string name;
  for (char c : entry)
    if (isWordChar(c)) name += c;
  const size_t n = src.size();
  for (size_t pos = src.find("void"); pos != std::string::npos; pos = src.find("void", pos + 1)) {
    if (pos > 0 && isWordChar(src[pos - 1])) continue;
    size_t q = pos + 4;
    if (q >= n || !isBlank(src[q])) continue;
    while (q < n && isBlank(src[q])) ++q;
    if (src.compare(q, name.size(), name) != 0) continue;
    q += name.size();
    while (q < n && isBlank(src[q])) ++q;
    if (q < n && src[q] == '(') return true;
  }
  return false;
}
constexpr const char* kNpcList = "npc/list.ini";
constexpr const char* kLuaList = "lua/list.ini";
constexpr const char* kWeaponList = "data/weapons";
constexpr const char* kControls = "controls.bin";
constexpr int kDialogLines = 100;

// The physical lines of a text, carriage returns removed; line i + 1 of the
// file is element i.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line;
    for (size_t k = pos; k < nl; ++k)
      if (text[k] != '\r') line += text[k];
    lines.push_back(std::move(line));
    pos = nl + 1;
  }
  return lines;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool readFile(const std::string& path, std::string& out) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Whether readFile would read `path` (without reading it).
bool readable(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && std::ifstream(path, std::ios::binary).good();
}

// The engine's lines caught while it read something, as one text.
std::string engineSays(const Log::Capture& cap) {
  std::string out;
  for (std::string l : cap.lines()) {
    for (const char* prefix : {"FAIL: ", "INFO: ", "OK  : "})
      if (l.compare(0, 6, prefix) == 0) l = l.substr(6);
    while (!l.empty() && std::isspace(static_cast<unsigned char>(l.back()))) l.pop_back();
    if (l.empty()) continue;
    if (!out.empty()) out += "; ";
    out += l;
  }
  return out;
}


bool isNumber(const std::string& s) {
  if (s.empty()) return false;
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return end && *end == 0;
}

// One word of a dialog form: a literal ("val"), or a value of a kind.
struct FormWord {
  std::string word;   // without brackets and dots
  bool literal = false;
  bool optional = false;
  bool rest = false;  // takes every further word
};

std::vector<FormWord> parseForm(const char* form) {
  std::vector<FormWord> out;
  Parser p(form, " ");
  for (int i = 0; i < p.count(); ++i) {
    std::string w = p.show(i);
    FormWord f;
    if (w.front() == '[') {
      f.optional = true;
      w = w.substr(1);
    }
    if (!w.empty() && w.back() == ']') w.pop_back();
    if (endsWith(w, "...")) {
      f.rest = true;
      w.resize(w.size() - 3);
      if (w.empty()) f.optional = true;  // "...": anything, or nothing
    }
    f.literal = !w.empty() && std::islower(static_cast<unsigned char>(w[0]));
    f.word = w;
    out.push_back(f);
  }
  return out;
}

// Whether `words` (the words after the command) can be read with `form`:
// the count fits and every literal word matches.
bool formFits(const std::vector<FormWord>& form, const std::vector<std::string>& words) {
  size_t need = 0, most = 0;
  bool rest = false;
  for (const FormWord& f : form) {
    if (!f.optional) ++need;
    ++most;
    if (f.rest) rest = true;
  }
  if (words.size() < need || (!rest && words.size() > most)) return false;
  for (size_t i = 0; i < form.size() && i < words.size(); ++i)
    if (form[i].literal && words[i] != form[i].word) return false;
  return true;
}

std::string usageOf(const DialogCommand& c) {
  std::string out;
  for (const char* f : c.forms) {
    if (!out.empty()) out += " or ";
    out += std::string("\"") + c.name + (*f ? " " : "") + f + "\"";
  }
  return out;
}

struct Image {
  bool ok = false;
  uint32_t w = 0, h = 0;
  int anims = 1;  // animations the engine reads for it
};

struct Archive {
  bool ok = false;
  std::set<std::string> names;
  std::map<std::string, std::string> data;  // every entry but the images
  std::map<std::string, Image> images;      // "x.png" entries
};

class Checker {
 public:
  explicit Checker(std::string level) : levelArg_(std::move(level)) {}

  std::vector<CheckProblem> run() {
    checkSettings();
    readArchives();
    checkImages();
    checkEngineSprites();
    checkLevels();
    checkNpcList();
    checkNpcFiles();
    checkLuaList();
    checkScripts();
    checkWeapons();
    checkControls();
    checkShaders();
    std::stable_sort(problems_.begin(), problems_.end(),
                     [](const CheckProblem& a, const CheckProblem& b) {
                       return std::tie(a.path, a.line) < std::tie(b.path, b.line);
                     });
    // The same message twice at one place is said once.
    std::vector<CheckProblem> out;
    std::set<std::string_view> seen;  // messages said at out.back()'s place
    for (const CheckProblem& p : problems_) {
      if (!out.empty() && (out.back().path != p.path || out.back().line != p.line)) seen.clear();
      if (seen.insert(p.message).second) out.push_back(p);
    }
    return out;
  }

 private:
  void report(const std::string& path, int line, const std::string& msg) {
    problems_.push_back({path, line, msg});
  }

  // --- lookups -----------------------------------------------------------

  // Splits a resource name as the archive reader does.
  static bool split(const std::string& res, std::string& archive, std::string& entry) {
    Parser p(res, ":");
    if (p.count() < 2) return false;
    archive = p.show(0);
    entry = p.show(1);
    return true;
  }

  const Archive* archive(const std::string& path) const {
    auto it = archives_.find(fs::path(path).lexically_normal().generic_string());
    return it == archives_.end() ? nullptr : &it->second;
  }

  // Why the resource `res` ("ARCHIVE:ENTRY") cannot be read, or "".
  std::string resourceProblem(const std::string& res) const {
    std::string arc, entry;
    if (!split(res, arc, entry)) return "\"" + res + "\" is not a resource name (ARCHIVE:ENTRY)";
    const Archive* a = archive(arc);
    if (!a) return "no archive " + arc;
    if (!a->names.count(entry)) return arc + " has no entry " + entry;
    return std::string();
  }

  const std::string* resourceData(const std::string& res) const {
    std::string arc, entry;
    if (!split(res, arc, entry)) return nullptr;
    const Archive* a = archive(arc);
    if (!a) return nullptr;
    auto it = a->data.find(entry);
    return it == a->data.end() ? nullptr : &it->second;
  }

  // Why the sprite `name` cannot be loaded, or "". `anims` gets its
  // animation count when it can.
  std::string spriteProblem(const std::string& name, int* anims = nullptr) const {
    if (name.empty()) return "no sprite named";
    if (Parser(name, ":").count() < 2) {
      std::error_code ec;
      if (!fs::is_regular_file(name, ec)) return "no image file " + name;
      if (anims) *anims = 1;
      return std::string();
    }
    const std::string file = Sprite::resourceFileName(name, ".png");
    std::string why = resourceProblem(file);
    if (!why.empty()) return "no sprite " + name + " (" + why + ")";
    std::string arc, entry;
    split(file, arc, entry);
    const Image& img = archive(arc)->images.at(entry);
    if (!img.ok) return "the image of sprite " + name + " does not decode";
    if (anims) *anims = img.anims;
    return std::string();
  }

  // Why the level `name` cannot be loaded, or "".
  std::string levelProblem(const std::string& name) const {
    std::string arc, entry;
    if (!split(name + ".txt", arc, entry))
      return "\"" + name + "\" is not a level name (ARCHIVE:ENTRY)";
    const Archive* a = archive(arc);
    if (!a) return "no level " + name + " (no archive " + arc + ")";
    if (!a->names.count(entry)) return "no level " + name + " (" + arc + " has no entry " + entry + ")";
    return std::string();
  }

  // --- game.ini ----------------------------------------------------------

  void checkSettings() {
    std::string text;
    if (readFile(GameSettings::kFileName, text))
      for (const auto& p : settings_.parse(text)) report(GameSettings::kFileName, p.line, p.message);
  }

  // Where a setting came from, for messages about its value.
  void reportSetting(const std::string& key, const std::string& fallbackPath,
                     const std::string& msg) {
    const int line = settings_.lineOf(key);
    report(line ? GameSettings::kFileName : fallbackPath, line, msg);
  }

  // --- archives and images -------------------------------------------------

  void readArchives() {
    std::error_code ec;
    std::vector<std::string> paths;
    for (fs::recursive_directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file(ec) && it->path().extension() == ".crs")
        paths.push_back(it->path().lexically_normal().generic_string());
    }
    std::sort(paths.begin(), paths.end());
    for (const std::string& p : paths) readArchive(p);
  }

  void readArchive(const std::string& path) {
    Archive& a = archives_[path];
    Resfile rf;
    {
      Log::Capture cap;
      const bool opened = rf.open(path);
      if (!opened || !cap.lines().empty()) {
        const std::string says = engineSays(cap);
        report(path, 0, "damaged archive" + (says.empty() ? std::string() : " (" + says + ")"));
      }
      if (!opened) return;
    }
    a.ok = true;
    const auto& names = rf.names();
    for (uint32_t i = 0; i < names.size(); ++i) {
      const std::string& entry = names[i];
      a.names.insert(entry);
      Log::Capture cap;
      ResBuffer buf = rf.load(path, i);
      if (!buf) {
        report(path + ":" + entry, 0, "damaged entry (" + engineSays(cap) + ")");
        continue;
      }
      if (endsWith(entry, ".png")) {
        Image& img = a.images[entry];
        std::string why;
        if (!pngCheck(buf.bytes(), buf.size(), &why)) {
          report(path + ":" + entry, 0, "the image does not decode: " + why);
          continue;
        }
        SurfacePtr s = decodePng(buf.bytes(), buf.size());
        if (!s) {
          report(path + ":" + entry, 0, "the image does not decode");
          continue;
        }
        img.ok = true;
        img.w = static_cast<uint32_t>(s->w);
        img.h = static_cast<uint32_t>(s->h);
      } else {
        a.data[entry].assign(buf.data(), buf.size());
      }
    }
  }

  void checkImages() {
    for (auto& ap : archives_) {
      Archive& a = ap.second;
      for (auto& ip : a.images) {
        if (!ip.second.ok) continue;
        const std::string txt = Sprite::resourceFileName(ap.first + ":" + ip.first, ".txt");
        std::string arc, entry;
        split(txt, arc, entry);
        auto it = a.data.find(entry);
        if (it != a.data.end()) checkAnims(ap.first + ":" + entry, it->second, ip.second);
      }
    }
  }

  // An animation definition beside an image of w x h pixels.
  void checkAnims(const std::string& path, const std::string& text, Image& img) {
    struct Made {
      int line;
      uint32_t x, y, w, h;
      size_t frames;
      long loop;
    };
    std::vector<Made> made;
    const auto lines = splitLines(text);
    auto numbers = [&](const Parser& p, int from, int to, int ln, const char* what) {
      bool ok = true;
      for (int i = from; i < to && i < p.count(); ++i)
        if (!p.isVal(i) || p.val(i) < 0) {
          report(path, ln, std::string(what) + ": \"" + p.show(i) +
                               "\" is not a whole number of 0 or more");
          ok = false;
        }
      return ok;
    };
    for (size_t li = 0; li < lines.size(); ++li) {
      const int ln = static_cast<int>(li) + 1;
      Parser p(lines[li], kWordSeps);
      const int n = p.count();
      if (n == 0) continue;
      const std::string first = p.show(0);
      if (first == "--") continue;
      if (first == "anim") {
        if (n < 6) {
          report(path, ln,
                 "anim needs at least 6 words: anim X Y W H SPEED [LOOP [BOX_X1 BOX_Y1 BOX_X2 "
                 "BOX_Y2 [NAME]]]; the lines after it are not read");
          break;
        }
        if (n > 7 && n < 11) report(path, ln, "the collision box needs all four numbers");
        if (n > 12) report(path, ln, "too many words: anim takes at most 12");
        if (!numbers(p, 1, std::min(n, 11), ln, "anim")) continue;
        made.push_back({ln, uint32_t(p.val(1)), uint32_t(p.val(2)), uint32_t(p.val(3)),
                        uint32_t(p.val(4)), 0, n >= 7 ? p.val(6) : -1});
      } else if (first == "frame") {
        if (made.empty()) {
          report(path, ln, "frame comes before the first animation");
          continue;
        }
        if (n != 2 && n != 4 && n != 6)
          report(path, ln, "frame takes 1, 3 or 5 numbers: frame N [X Y [X2 Y2]]");
        if (!numbers(p, 1, std::min(n, 6), ln, "frame")) continue;
        made.back().frames += std::max(1, p.val(1));
      } else if (p.isVal(0)) {
        if (n < 7) {
          report(path, ln,
                 "an animation line needs at least 7 words: N X Y W H OFFSET_X OFFSET_Y "
                 "[SPEED [LOOP]]; the line is not read");
          continue;
        }
        if (n > 9) report(path, ln, "too many words: an animation line takes at most 9");
        if (!numbers(p, 0, std::min(n, 9), ln, "animation")) continue;
        made.push_back({ln, uint32_t(p.val(1)), uint32_t(p.val(2)), uint32_t(p.val(3)),
                        uint32_t(p.val(4)), size_t(std::max(0, p.val(0))),
                        n >= 9 ? p.val(8) : -1});
      } else {
        report(path, ln,
               "unknown line \"" + first +
                   "\": a line starts with anim, frame, a frame count or --");
      }
    }
    // The engine's own reading decides how many animations the sprite has.
    Sprite s;
    {
      Log::Capture cap;
      if (!s.parseAnims(text.c_str())) {
        report(path, 0, "no animation is defined: the sprite will not load");
        img.anims = 0;
        return;
      }
    }
    img.anims = static_cast<int>(s.getAnimCount());
    for (size_t k = 0; k < made.size(); ++k) {
      const Made& m = made[k];
      const uint64_t frames = std::max<size_t>(1, m.frames);
      if (m.w == 0 || m.h == 0) {
        report(path, m.line, "animation " + std::to_string(k) + " has no size");
      } else if (uint64_t(m.x) + frames * m.w > img.w || uint64_t(m.y) + m.h > img.h) {
        report(path, m.line,
               "animation " + std::to_string(k) + " (" + std::to_string(frames) + " frames of " +
                   std::to_string(m.w) + "x" + std::to_string(m.h) + " at " + std::to_string(m.x) +
                   "," + std::to_string(m.y) + ") reaches outside the " + std::to_string(img.w) +
                   "x" + std::to_string(img.h) + " image");
      }
      if (m.loop >= 0 && uint64_t(m.loop) >= frames && frames > 1)
        report(path, m.line,
               "loop frame " + std::to_string(m.loop) + " is past the last frame (" +
                   std::to_string(frames - 1) + ")");
    }
  }

  // The pictures the engine itself asks for.
  void checkEngineSprites() {
    static const std::pair<const char*, const char*> kNeeded[] = {
        {"data/gfx.crs:npc_ptr", "the dialog pointer; the game does not start without it"},
        {"data/gfx.crs:dial_bg", "the dialog box; the game does not start without it"},
        {"data/gfx.crs:fade_00", "the loading picture"},
        {"data/gfx.crs:fade_01", "the picture the game fades in from"},
        {"data/gfx.crs:font_00", "the font of the statistics"},
        {"data/gfx.crs:font_00a", "the font of the dialog box"},
    };
    for (const auto& n : kNeeded) {
      const std::string why = spriteProblem(n.first);
      if (!why.empty()) report("data/gfx.crs", 0, why + ": " + n.second);
    }
    const std::string why = spriteProblem(settings_.playerSprite);
    if (!why.empty()) reportSetting("player_sprite", "data/gfx.crs", "the player's sprite: " + why);
  }

  // --- levels --------------------------------------------------------------

  void checkLevels() {
    // The first level.
    std::string first = levelArg_.empty() ? settings_.level : levelArg_;
    const std::string why = levelProblem(first);
    if (!why.empty()) {
      if (!levelArg_.empty())
        report("--level", 0, why);
      else
        reportSetting("level", "game.ini", "the first level: " + why);
    }
    // Every text entry that is not an animation definition is a level file.
    for (const auto& ap : archives_) {
      for (const auto& dp : ap.second.data) {
        const std::string& entry = dp.first;
        if (!endsWith(entry, ".txt")) continue;
        const std::string base = entry.substr(0, entry.size() - 4);
        if (ap.second.names.count(base + ".png")) continue;
        checkLevel(ap.first, ap.first + ":" + entry, dp.second);
      }
    }
  }

  void checkLevel(const std::string& archivePath, const std::string& path, const std::string& text) {
    const auto lines = splitLines(text);
    std::map<std::tuple<int, int, int>, int> frames;  // key -> line
    std::set<std::pair<std::string, std::string>> blocksChecked;
    for (size_t li = 0; li < lines.size(); ++li) {
      const int ln = static_cast<int>(li) + 1;
      Parser w(lines[li], kWordSeps);
      const int n = w.count();
      if (n == 0) continue;
      const std::string cmd = w.show(0);
      const LevelCommand* c = LevelCommand::find(cmd);
      if (!c) {
        std::string known;
        for (const LevelCommand& k : LevelCommand::all()) known += std::string(known.empty() ? "" : ", ") + k.name;
        report(path, ln, "unknown command \"" + cmd + "\" (a level line starts with " + known + ")");
        continue;
      }
      const std::string usage = std::string(c->name) + " " + c->usage;
      if (n < c->words) {
        report(path, ln, std::string(c->name) + " needs at least " + std::to_string(c->words - 1) +
                             " words: " + usage + "; the line is skipped");
        continue;
      }
      if (c->maxWords >= 0 && n > c->maxWords)
        report(path, ln, "too many words: " + usage);
      auto ints = [&](int from, int to) {
        for (int i = from; i < to && i < n; ++i)
          if (!w.isVal(i)) report(path, ln, "\"" + w.show(i) + "\" is not a whole number");
      };
      auto sprite = [&](int i, const char* what, int* anims = nullptr) {
        const std::string why = spriteProblem(w.show(i), anims);
        if (!why.empty()) report(path, ln, std::string(what) + ": " + why);
        return why.empty();
      };
      switch (c->id) {
        case LevelCommand::kComment:
        case LevelCommand::kCall:
          break;
        case LevelCommand::kSprite:
          sprite(1, "sprite");
          break;
        case LevelCommand::kFrame: {
          ints(4, 7);
          for (int i = 7; i < n && i < 9; ++i)
            if (!isNumber(w.show(i))) report(path, ln, "\"" + w.show(i) + "\" is not a number");
          if (n == 8) report(path, ln, "give both parallax factors (PARALLAX_X PARALLAX_Y)");
          const auto key = std::make_tuple(w.val(4), w.val(5), n >= 7 ? w.val(6) : 0);
          auto dup = frames.find(key);
          if (dup != frames.end())
            report(path, ln, "a frame at the same place and layer was made on line " +
                                 std::to_string(dup->second) + "; this line changes nothing");
          else
            frames.emplace(key, ln);
          int anims = -1;
          sprite(2, "blocks", &anims);
          sprite(3, "sky");
          const std::string name = w.show(1);
          const std::string bin = name.find(':') != std::string::npos
                                      ? name + ".bin"
                                      : archivePath + ":" + name + ".bin";
          const std::string* cells = resourceData(bin);
          if (!cells) {
            report(path, ln, "no block file " + bin + " (" + resourceProblem(bin) + ")");
          } else if (cells->size() < size_t(Frame::kCells)) {
            report(path, ln, "block file " + bin + " has " + std::to_string(cells->size()) +
                                 " bytes; a frame needs " + std::to_string(Frame::kCells));
          } else if (anims > 0 && blocksChecked.emplace(bin, w.show(2)).second) {
            for (int i = 0; i < Frame::kCells; ++i) {
              const int v = static_cast<unsigned char>((*cells)[i]);
              if (v != 0 && v >= anims) {
                report(bin, 0, "column " + std::to_string(i % Frame::kCols) + ", row " +
                                   std::to_string(i / Frame::kCols) + " holds block " + std::to_string(v) +
                                   ", but " + w.show(2) + " has only " + std::to_string(anims) +
                                   " animations (used by " + path + ":" + std::to_string(ln) + ")");
                break;
              }
            }
          }
          break;
        }
        case LevelCommand::kObj:
          ints(1, 6);
          sprite(6, "obj");
          break;
        case LevelCommand::kScript: {
          const std::string res = w.show(1);
          const std::string* code = resourceData(res);
          if (!code)
            report(path, ln, "no script " + res + " (" + resourceProblem(res) + ")");
          else
            checkLua(res, *code);
          break;
        }
      }
    }
    if (frames.empty()) report(path, 0, "the level has no frame: it cannot be loaded");
  }

  // --- characters ----------------------------------------------------------

  void checkNpcList() {
    IniFile ini;
    if (!ini.open(kNpcList)) {
      std::error_code ec;
      report(kNpcList, 0, fs::exists(kNpcList, ec) ? "cannot be read"
                                                   : "missing: no level can load its characters");
      return;
    }
    forEachListed(kNpcList, ini, [&](const std::string& level, const std::string& key,
                                     const std::string& name, int ln) {
      char* end = nullptr;
      const long id = std::strtol(key.c_str(), &end, 10);
      if (key.empty() || *end || id < 1 || id > 99 || std::to_string(id) != key) {
        report(kNpcList, ln, "\"" + key + "\" is not a character id from 1 to 99; the line is not read");
        return;
      }
      if (name.size() < 2) {
        report(kNpcList, ln, "the character name \"" + name + "\" is too short; the line is not read");
        return;
      }
      const std::string file = "npc/" + name;
      const IniFile* npc = characterFile(file);
      if (!npc) {
        report(kNpcList, ln, "no character file " + file);
        return;
      }
      if (npc->lineOf("npc", level) == 0)
        report(file, npc->lineOf("npc"),
               "no info line for " + level + " in [npc]: the character does not appear there");
    });
  }

  // The character file `file`, read once however many lines of the lists
  // name it; nullptr when it cannot be read.
  const IniFile* characterFile(const std::string& file) {
    auto it = characterFiles_.find(file);
    if (it == characterFiles_.end()) {
      auto ini = std::make_unique<IniFile>();
      if (!ini->open(file)) ini.reset();
      it = characterFiles_.emplace(file, std::move(ini)).first;
    }
    return it->second.get();
  }

  // Walks the [LEVEL] sections of a list file: reports the lines before the
  // first header and the levels that do not exist, and hands every line of
  // a section to `line(level, key, value, line number)`.
  template <class Line>
  void forEachListed(const char* list, const IniFile& ini, Line line) {
    for (const auto& sp : ini.sections()) {
      const std::string& level = sp.first;
      if (level.empty()) {
        for (const auto& kv : sp.second)
          report(list, ini.lineOf(level, kv.first), "line before the first [LEVEL] header");
        continue;
      }
      const std::string why = levelProblem(level);
      if (!why.empty()) report(list, ini.lineOf(level), why);
      for (const auto& kv : sp.second) line(level, kv.first, kv.second, ini.lineOf(level, kv.first));
    }
  }

  void checkNpcFiles() {
    std::error_code ec;
    std::vector<std::string> files;
    for (fs::directory_iterator it("npc", ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!it->is_regular_file(ec) || name == "list.ini" || name[0] == '.' || endsWith(name, "~"))
        continue;
      files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& name : files) {
      const std::string file = "npc/" + name;
      const IniFile* ini = characterFile(file);
      if (!ini) {
        report(file, 0, "cannot be read");
        continue;
      }
      auto npcSec = ini->sections().find("npc");
      if (npcSec != ini->sections().end())
        for (const auto& kv : npcSec->second)
          checkInfoLine(file, ini->lineOf("npc", kv.first), kv.first, kv.second);
      auto dlg = ini->sections().find("dialog");
      if (dlg != ini->sections().end()) checkDialog(file, *ini, dlg->second);
    }
  }

  void checkInfoLine(const std::string& file, int ln, const std::string& level,
                     const std::string& info) {
    const std::string why = levelProblem(level);
    if (!why.empty()) report(file, ln, why);
    Parser w(info, kWordSeps);
    const int n = w.count();
    if (n < Npc::kInfoWords) {
      report(file, ln,
             "the info line needs at least 9 words: PRESENT TALK COLLIDE GRAVITY X Y Z HP SPRITE "
             "[ANIM [ALPHA [SCRIPT]]]; the character does not appear");
      return;
    }
    if (n > 12) report(file, ln, "too many words in the info line (at most 12)");
    for (int i : {4, 5, 6, 7, 9, 10})
      if (i < n && !w.isVal(i)) report(file, ln, "\"" + w.show(i) + "\" is not a whole number");
    if (n > 10 && w.isVal(10) && (w.val(10) < 0 || w.val(10) > 255))
      report(file, ln, "opacity " + w.show(10) + " is not from 0 to 255");
    int anims = -1;
    const std::string sw = spriteProblem(w.show(8), &anims);
    if (!sw.empty()) report(file, ln, "sprite: " + sw);
    if (n > 9 && anims > 0 && w.isVal(9) && (w.val(9) < 0 || w.val(9) >= anims))
      report(file, ln, "animation " + w.show(9) + " does not exist: " + w.show(8) + " has " +
                           std::to_string(anims));
    if (n > 11) {
      const std::string script = "lua/" + w.show(11);
      if (Parser(script, ":").count() >= 2) {
        const std::string* data = resourceData(script);
        if (!data)
          report(file, ln, "no script " + script + " (" + resourceProblem(script) + ")");
        else
          checkLua(script, *data);
      } else if (!readable(script)) {
        report(file, ln, "no script file " + script);
      }
    }
  }

  void checkDialog(const std::string& file, const IniFile& ini, const IniFile::Section& lines) {
    // Blocks and lines the file has.
    std::set<int> blocks;
    std::vector<std::pair<int, std::string>> run;  // line in file, text
    for (const auto& kv : lines) {
      const int ln = ini.lineOf("dialog", kv.first);
      Parser k(kv.first, " ");
      const bool canonical =
          (k.count() == 1 || k.count() == 2) && k.isVal(0) && (k.count() == 1 || k.isVal(1)) &&
          kv.first == (k.count() == 1 ? k.show(0) : k.show(0) + " " + k.show(1));
      if (!canonical) {
        report(file, ln, "\"" + kv.first + "\" is not BLOCK or BLOCK LINE (numbers, one blank between); the line is never run");
        continue;
      }
      const int b = k.val(0), l = k.count() == 2 ? k.val(1) : 0;
      if (b < 1 || l < 0 || l >= kDialogLines) {
        report(file, ln, "block " + std::to_string(b) + ", line " + std::to_string(l) +
                             " is never run (blocks start at 1, lines run from 0 to 99)");
        continue;
      }
      blocks.insert(b);
      run.emplace_back(ln, kv.second);
    }
    for (const auto& r : run) checkDialogLine(file, r.first, r.second, blocks);
  }

  // Whether the [dialog] section of `ini` has a line of block `b`.
  static bool hasBlock(const IniFile& ini, int b) {
    auto dlg = ini.sections().find("dialog");
    if (dlg == ini.sections().end()) return false;
    const std::string one = std::to_string(b), prefix = one + " ";
    for (const auto& kv : dlg->second)
      if (kv.first == one || kv.first.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  }

  void checkDialogLine(const std::string& file, int ln, const std::string& text,
                       const std::set<int>& blocks) {
    Parser p(text, kWordSeps);
    if (p.count() == 0) return;
    const std::string cmd = p.show(0);
    const DialogCommand* c = DialogCommand::find(cmd);
    if (!c) {
      report(file, ln, "unknown dialog command \"" + cmd + "\"");
      return;
    }
    std::vector<std::string> words;
    for (int i = 1; i < p.count(); ++i) words.push_back(p.show(i));
    std::vector<FormWord> form;
    for (const char* f : c->forms) {
      auto fw = parseForm(f);
      if (formFits(fw, words)) {
        form = fw;
        break;
      }
    }
    if (form.empty() && !(c->forms.size() == 1 && !*c->forms[0] && words.empty())) {
      report(file, ln, "wrong words for " + cmd + ": expected " + usageOf(*c));
      return;
    }
    for (size_t i = 0; i < form.size() && i < words.size(); ++i) {
      const FormWord& f = form[i];
      if (f.literal) continue;
      const std::string& v = words[i];
      const std::string& k = f.word;
      auto whole = [&] {
        if (!Parser(v, " ").isVal(0)) {
          report(file, ln, k + " \"" + v + "\" is not a whole number");
          return false;
        }
        return true;
      };
      const int num = std::atoi(v.c_str());
      if (k == "N" || k == "ID" || k == "X" || k == "Y" || k == "SLOT" || k == "LIFE" ||
          k == "MODE" || k == "VOLUME") {
        whole();
      } else if (k == "FROM" || k == "TO") {
        if (whole() && (num < 0 || num > 255))
          report(file, ln, k + " " + v + " is not an opacity from 0 to 255");
      } else if (k == "SECONDS" || k == "PAN") {
        if (!isNumber(v)) report(file, ln, k + " \"" + v + "\" is not a number");
      } else if (k == "SOUND") {
        std::error_code ec;
        if (Parser(v, ":").count() >= 2) {
          const std::string why = resourceProblem(v);
          if (!why.empty()) report(file, ln, "no sound " + v + " (" + why + ")");
        } else if (!fs::is_regular_file(v, ec)) {
          report(file, ln, "no sound file " + v);
        }
      } else if (k == "BLOCK" && c->id == DialogCommand::kGoto) {
        // The conversation goes on in the named character's file.
        if (whole() && num >= 1 && words.size() >= 6) {
          const IniFile* other = characterFile("npc/" + words[5]);
          if (other && !hasBlock(*other, num))
            report(file, ln, "block " + v + " does not exist in npc/" + words[5]);
        }
      } else if (k == "BLOCK") {
        if (whole() && num >= 1 && !blocks.count(num))
          report(file, ln, "block " + v + " does not exist in this file");
      } else if (k == "LINE") {
        if (whole() && (num < 0 || num >= kDialogLines))
          report(file, ln, "line " + v + " is outside 0 to 99");
      } else if (k == "KEY") {
        if (v.size() < 2) report(file, ln, "the save key \"" + v + "\" is too short (2 characters at least)");
      } else if (k == "SPRITE" || k == "FONT") {
        const std::string why = spriteProblem(v);
        if (!why.empty()) report(file, ln, why);
      } else if (k == "LEVEL") {
        const std::string why = levelProblem(v);
        if (!why.empty()) report(file, ln, why);
      } else if (k == "NAME") {
        std::error_code ec;
        if (!fs::is_regular_file("npc/" + v, ec))
          report(file, ln, "no character " + v + " (no file npc/" + v + ")");
      } else if (k == "CODE") {
        std::string error;
        const std::string code = text.substr(p.start(1));
        if (!Lua::checkSyntax(code, "lua", error))
          report(file, ln, "the Lua code does not compile: " + error.substr(error.find(' ') + 1));
      }
    }
  }

  // --- scripts -------------------------------------------------------------

  void checkLuaList() {
    IniFile ini;
    if (!ini.open(kLuaList)) return;  // a game may have no level scripts
    forEachListed(kLuaList, ini, [&](const std::string&, const std::string& key,
                                     const std::string& value, int ln) {
      if (key == "file") {
        if (value.size() > 4 && !readable("lua/" + value))
          report(kLuaList, ln, "no script file lua/" + value);
        else if (!value.empty() && value.size() <= 4)
          report(kLuaList, ln, "a script name needs more than 4 characters; \"" + value + "\" is not run");
      } else if (key != "always") {
        report(kLuaList, ln, "unknown key \"" + key + "\" (file, always)");
      }
    });
  }

  void checkScripts() {
    std::error_code ec;
    std::vector<std::string> files;
    for (fs::recursive_directory_iterator it("lua", ec), end; !ec && it != end; it.increment(ec))
      if (it->is_regular_file(ec) && it->path().extension() == ".lua")
        files.push_back(it->path().lexically_normal().generic_string());
    std::sort(files.begin(), files.end());
    for (const std::string& f : files) {
      std::string code;
      if (readFile(f, code)) checkLua(f, code);
    }
    for (const auto& ap : archives_)
      for (const auto& dp : ap.second.data)
        if (endsWith(dp.first, ".lua")) checkLua(ap.first + ":" + dp.first, dp.second);
  }

  // Compiles a script (never runs it); `path` names it in the messages.
  void checkLua(const std::string& path, const std::string& code) {
    if (!luaChecked_.insert(path).second) return;
    scripts_.emplace_back(path, code);
    std::string error;
    if (Lua::checkSyntax(code, path, error)) return;
    // Lua names the place "CHUNK:LINE: message".
    int line = 0;
    std::string msg = error;
    if (error.compare(0, path.size() + 1, path + ":") == 0) {
      const char* rest = error.c_str() + path.size() + 1;
      char* end = nullptr;
      const long l = std::strtol(rest, &end, 10);
      if (end != rest && end[0] == ':' && end[1] == ' ') {
        line = static_cast<int>(l);
        msg = end + 2;
      }
    }
    report(path, line, "Lua syntax error: " + msg);
  }

  // --- weapons, controls, shaders ----------------------------------------

  void checkWeapons() {
    std::string text;
    if (!readFile(kWeaponList, text)) return;  // a game may have no weapons
    const auto lines = splitLines(text);
    std::map<std::string, int> seen;
    for (size_t li = 0; li < lines.size(); ++li) {
      const int ln = static_cast<int>(li) + 1;
      Parser w(lines[li], kWordSeps);
      if (w.count() == 0 || w.show(0) == "--") continue;
      if (w.count() < 5) {
        report(kWeaponList, ln, "a weapon line needs 5 words: NAME SPRITE SCRIPT USE SPECIAL_USE; the line is skipped");
        continue;
      }
      if (w.count() > 5) report(kWeaponList, ln, "too many words: NAME SPRITE SCRIPT USE SPECIAL_USE");
      auto prev = seen.find(w.show(0));
      if (prev != seen.end())
        report(kWeaponList, ln, "weapon " + w.show(0) + " was defined on line " +
                                    std::to_string(prev->second) + "; this line replaces it");
      seen[w.show(0)] = ln;
      const std::string why = spriteProblem(w.show(1));
      if (!why.empty()) report(kWeaponList, ln, why);
      std::string code;
      if (!readFile(w.show(2), code))
        report(kWeaponList, ln, "no script file " + w.show(2));
      else
        checkLua(fs::path(w.show(2)).lexically_normal().generic_string(), code);
    }
  }

  void checkControls() {
    std::error_code ec;
    if (!fs::exists(kControls, ec)) {
      report(kControls, 0, "missing: the player has no keys");
      return;
    }
    Player& player = Player::instance();
    Log::Capture cap;
    if (!player.loadCtrls(kControls)) {
      report(kControls, 0, "cannot be read (" + engineSays(cap) + ")");
      return;
    }
    for (size_t a = 0; a < Player::kActionCount; ++a)
      for (uint32_t key : {player.keysA[a], player.keysB[a]})
        if (key >= Player::kKeyCount)
          report(kControls, 0, "action " + std::to_string(a) + " is bound to " +
                                   std::to_string(key) + ", which is no key code (0 to " +
                                   std::to_string(Player::kKeyCount - 1) + ")");
  }

  // Program names in the scripts ("setCamShaderPost("archive:file:entry")").
  void checkShaders() {
    static const std::regex kUse(
        "setCamShader(Vert|Frag|Post)\\s*\\(\\s*[\"']([^\"']+)[\"']");
    std::set<std::string> compiled;
    for (const auto& sc : scripts_) {
      const std::string& code = sc.second;
      if (code.find("setCamShader") == std::string::npos) continue;  // the regex is slow; most scripts have none
      for (std::sregex_iterator it(code.begin(), code.end(), kUse), end; it != end; ++it) {
        const int ln = 1 + static_cast<int>(std::count(code.begin(), code.begin() + it->position(0), '\n'));
        const bool vertex = (*it)[1] == "Vert";
        const std::string name = (*it)[2];
        Parser parts(name, ":");
        std::string source, sourcePath, entry;
        if (parts.count() >= 3) {
          sourcePath = parts.show(0) + ":" + parts.show(1);
          const std::string* data = resourceData(sourcePath);
          if (!data) {
            report(sc.first, ln, "no shader source " + sourcePath + " (" + resourceProblem(sourcePath) + ")");
            continue;
          }
          source = *data;
          entry = parts.show(2);
        } else if (parts.count() == 2) {
          sourcePath = parts.show(0);
          if (!readFile(sourcePath, source)) {
            report(sc.first, ln, "no shader source file " + sourcePath);
            continue;
          }
          entry = parts.show(1);
        } else {
          report(sc.first, ln, "\"" + name + "\" is not a shader name (SOURCE:ENTRY or ARCHIVE:SOURCE:ENTRY)");
          continue;
        }
        if (entry != "main" && !declaresVoidFunction(source, entry)) {
          report(sc.first, ln, sourcePath + " has no function void " + entry + "()");
          continue;
        }
        if (!compiled.insert(name + (vertex ? "#v" : "#f")).second) continue;
        for (const ShaderError& e : checkShaderSource(source, entry, vertex))
          report(sourcePath, e.line, std::string(vertex ? "vertex" : "fragment") + " program " +
                                         entry + ": " + e.message);
      }
    }
  }

  std::string levelArg_;
  GameSettings settings_;
  std::map<std::string, Archive> archives_;
  std::set<std::string> luaChecked_;
  std::map<std::string, std::unique_ptr<IniFile>> characterFiles_;
  std::vector<std::pair<std::string, std::string>> scripts_;  // every script read
  std::vector<CheckProblem> problems_;
};

}  // namespace

std::vector<CheckProblem> checkGame(const std::string& level) {
  // Whatever the engine's readers print is caught where it matters and
  // turned into problems; the rest stays off the report.
  Log::Capture quiet;
  return Checker(level).run();
}

int runCheck(const std::string& level, std::FILE* out) {
  const std::vector<CheckProblem> problems = checkGame(level);
  for (const CheckProblem& p : problems) std::fprintf(out, "%s\n", p.text().c_str());
  return problems.empty() ? 0 : 1;
}
