// The one store of sectioned key/value files on disk ("[section]", "key=value").
#pragma once

#include <fstream>
#include <istream>
#include <map>
#include <string>

class IniFile {
 public:
  using Section = std::map<std::string, std::string>;

  IniFile() = default;
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  static IniFile& instance();

  bool open(const std::string& name);
  std::string get(const std::string& section, const std::string& key) const;
  bool tryGet(const std::string& section, const std::string& key, std::string& out) const;
  void set(const std::string& section, const std::string& key, const std::string& value);
  void close();

  const std::string& fileName() const { return fileName_; }
  const std::map<std::string, Section>& sections() const { return sections_; }

 private:
  // Replaces the store by the sections read from `in`.
  void parse(std::istream& in);

  std::string fileName_;
  std::map<std::string, Section> sections_;
};
