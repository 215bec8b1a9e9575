// Splits a text into elements: the maximal runs of non-separator characters.
// Every text format of the engine is read with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Parser {
 public:
  Parser(const std::string& text = std::string(), const std::string& separators = std::string());

  int count() const;
  std::string show(int i) const;   // "" and a FAIL line when out of range
  int val(int i) const;            // atoi semantics
  float valf(int i) const;         // atof semantics, '.' always the decimal point
  bool isVal(int i) const;         // canonical decimal integer
  std::string getStr() const { return text_; }
  void setStr(const std::string& text);
  void setSep(const std::string& separators);
  void del(int i);
  void ins(int i, const std::string& s);
  void swap(int i, const std::string& s);

  // Start offset and length of element i (no range check beyond an assert).
  uint32_t start(int i) const;
  uint32_t length(int i) const;

 private:
  void rebuild();
  std::string text_;
  std::string separators_;
  struct Element { uint32_t start, length; };
  std::vector<Element> elements_;
};
