#include "resources/game_settings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/log.h"

namespace {

using K = GameSettings::Kind;

std::string trim(const std::string& s) {
  const char* blanks = " \t\r";
  size_t b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

// A whole decimal number in int range, nothing else on the line.
bool parseInt(const std::string& s, long& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (errno || *end || end == s.c_str() || v < INT_MIN || v > INT_MAX) return false;
  out = v;
  return true;
}

// A path relative to the game folder that does not climb out of it.
bool insideFolder(const std::string& s) {
  if (s.empty() || s.back() == '/') return false;
  std::filesystem::path p(s);
  if (p.is_absolute()) return false;
  for (const auto& part : p)
    if (part == "..") return false;
  return true;
}

std::string checkValue(GameSettings& gs, const GameSettings::Key& key, const std::string& value) {
  switch (key.kind) {
    case K::kName:
      if (value.empty()) return std::string("empty value for ") + key.name;
      gs.*key.text = value;
      return {};
    case K::kPath:
      if (!insideFolder(value))
        return std::string("bad value for ") + key.name + ": \"" + value +
               "\" (a file path inside the game folder)";
      gs.*key.text = value;
      return {};
    case K::kInt: {
      long v = 0;
      if (!parseInt(value, v) || v < key.min || v > key.max)
        return std::string("bad value for ") + key.name + ": \"" + value +
               "\" (a whole number from " + std::to_string(key.min) + " to " +
               std::to_string(key.max) + ")";
      gs.*key.number = static_cast<int>(v);
      return {};
    }
  }
  return {};
}

}  // namespace

const std::vector<GameSettings::Key>& GameSettings::keys() {
  constexpr int kCoord = 1000000;
  static const std::vector<Key> table = {
      {"level", K::kName, &GameSettings::level, nullptr, 0, 0},
      {"player_sprite", K::kName, &GameSettings::playerSprite, nullptr, 0, 0},
      {"player_x", K::kInt, nullptr, &GameSettings::playerX, -kCoord, kCoord},
      {"player_y", K::kInt, nullptr, &GameSettings::playerY, -kCoord, kCoord},
      {"player_hp", K::kInt, nullptr, &GameSettings::playerHp, 1, 1000000},
      {"save", K::kPath, &GameSettings::save, nullptr, 0, 0},
      {"script_budget_ms", K::kInt, nullptr, &GameSettings::scriptBudgetMs, 1, 600000},
      {"script_memory_mb", K::kInt, nullptr, &GameSettings::scriptMemoryMb, 1, 4096},
  };
  return table;
}

std::vector<GameSettings::Problem> GameSettings::parse(const std::string& text) {
  std::vector<Problem> problems;
  std::string section;
  bool inGame = false;
  int n = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    std::string line = trim(text.substr(pos, nl - pos));
    pos = nl + 1;
    ++n;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        problems.push_back({n, "section header without ']'"});
        inGame = false;
        continue;
      }
      section = trim(line.substr(1, line.size() - 2));
      inGame = section == kSection;
      if (!inGame)
        problems.push_back({n, "unknown section [" + section + "] (the settings go under [" +
                                   kSection + "])"});
      continue;
    }
    if (!inGame) {
      // Lines under an unknown section were reported with their header.
      if (section.empty())
        problems.push_back({n, std::string("setting outside the [") + kSection + "] section"});
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      problems.push_back({n, "expected KEY=VALUE"});
      continue;
    }
    std::string name = trim(line.substr(0, eq));
    std::string value = trim(line.substr(eq + 1));
    const Key* key = nullptr;
    for (const Key& k : keys())
      if (name == k.name) key = &k;
    if (!key) {
      problems.push_back({n, "unknown key " + name});
      continue;
    }
    std::string err = checkValue(*this, *key, value);
    if (!err.empty())
      problems.push_back({n, err + ", the default is kept"});
    else
      keyLines_.emplace_back(name, n);
  }
  return problems;
}

int GameSettings::lineOf(const std::string& name) const {
  int line = 0;
  for (const auto& kl : keyLines_)
    if (kl.first == name) line = kl.second;
  return line;
}

bool GameSettings::load(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;
  std::ifstream in(path, std::ios::binary);
  if (!in || std::filesystem::is_directory(path, ec)) {
    Log::fail("GameSettings.load: cannot read %s", path.c_str());
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (const Problem& p : parse(text))
    Log::fail("GameSettings.load: %s:%d: %s", path.c_str(), p.line, p.message.c_str());
  Log::info("GameSettings.load: read %s", path.c_str());
  return true;
}
