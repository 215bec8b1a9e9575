#include "resources/ini_file.h"

#include <filesystem>
#include <iterator>

IniFile& IniFile::instance() {
  static IniFile store;
  return store;
}

bool IniFile::open(const std::string& name) {
  // The current file is never re-read: values added with set() must survive
  // until another file is opened.
  if (name == fileName_) return true;
  close();
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec)) return false;  // opens, but never reads
  std::ifstream stream(name);
  if (!stream) return false;  // fileName_ stays empty so the next open retries
  fileName_ = name;
  parse(stream);
  // Everything is in memory now; holding the descriptor open would only
  // pin the file.
  return true;
}

void IniFile::parse(std::istream& in) {
  sections_.clear();
  keyLines_.clear();
  headerLines_.clear();
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  // Lines before the first header go to the section named "", which only
  // comes into being when such a line exists.
  Section* current = nullptr;
  std::map<std::string, int>* currentLines = nullptr;
  std::string line;
  size_t pos = 0;
  int number = 0;
  while (pos < text.size()) {
    ++number;
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    line.clear();
    for (size_t k = pos; k < nl; ++k)
      if (text[k] != '\r') line += text[k];
    pos = nl + 1;

    if (line.empty() || line[0] == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      const std::string name = line.substr(1, line.size() - 2);
      current = &sections_[name];
      current->clear();  // a repeated header starts the section afresh
      currentLines = &keyLines_[name];
      currentLines->clear();
      headerLines_[name] = number;
      continue;
    }
    if (!current) {
      current = &sections_[std::string()];
      currentLines = &keyLines_[std::string()];
    }
    const size_t eq = line.find('=');
    const std::string key = eq == std::string::npos ? line : line.substr(0, eq);
    (*current)[key] = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    (*currentLines)[key] = number;
  }
}

std::string IniFile::get(const std::string& section, const std::string& key) const {
  std::string out;
  tryGet(section, key, out);
  return out;
}

bool IniFile::tryGet(const std::string& section, const std::string& key, std::string& out) const {
  auto s = sections_.find(section);
  if (s == sections_.end()) return false;
  auto k = s->second.find(key);
  if (k == s->second.end()) return false;
  out = k->second;
  return true;
}

void IniFile::set(const std::string& section, const std::string& key, const std::string& value) {
  sections_[section][key] = value;
  auto s = keyLines_.find(section);
  if (s != keyLines_.end()) s->second.erase(key);
}

int IniFile::lineOf(const std::string& section, const std::string& key) const {
  auto s = keyLines_.find(section);
  if (s == keyLines_.end()) return 0;
  auto k = s->second.find(key);
  return k == s->second.end() ? 0 : k->second;
}

int IniFile::lineOf(const std::string& section) const {
  auto s = headerLines_.find(section);
  return s == headerLines_.end() ? 0 : s->second;
}

void IniFile::close() {
  sections_.clear();
  keyLines_.clear();
  headerLines_.clear();
  // Forgetting the name lets a later open of the same file read it again
  // rather than answer from an empty store.
  fileName_.clear();
}
