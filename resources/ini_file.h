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

  // The line (counted from 1) the value of `key` was read from; 0 when it
  // was not read from the file (absent, or added with set()).
  int lineOf(const std::string& section, const std::string& key) const;
  // The line of the header of `section`, 0 when there is none.
  int lineOf(const std::string& section) const;

  const std::string& fileName() const { return fileName_; }
  const std::map<std::string, Section>& sections() const { return sections_; }

 private:
  // Replaces the store by the sections read from `in`.
  void parse(std::istream& in);

  std::string fileName_;
  std::map<std::string, Section> sections_;
  // Where each value and header stood, for messages that name the line.
  std::map<std::string, std::map<std::string, int>> keyLines_;
  std::map<std::string, int> headerLines_;
};
