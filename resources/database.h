// The game's persistent key/value state: integer and string tables, saved
// to and loaded from a binary file (normally "save/sav01.bin").
#pragma once

#include <cstdint>
#include <map>
#include <string>

class Database {
 public:
  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  static Database& instance();

  void setVal(const std::string& key, int32_t value);
  int32_t getVal(const std::string& key) const;
  void setStr(const std::string& key, const std::string& value);
  std::string getStr(const std::string& key) const;
  void clear();
  bool save(const std::string& path) const;
  bool load(const std::string& path);

  const std::map<std::string, int32_t>& vals() const { return vals_; }
  const std::map<std::string, std::string>& strs() const { return strs_; }

 private:
  std::map<std::string, int32_t> vals_;
  std::map<std::string, std::string> strs_;
};
