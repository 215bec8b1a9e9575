#include "resources/parser.h"

#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

#include "base/log.h"

namespace {

// Numbers in data files always use a point, whatever locale the host process
// may have switched to, so floats are read through a private "C" locale.
locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

}  // namespace

Parser::Parser(const std::string& text, const std::string& separators)
    : text_(text), separators_(separators) {
  rebuild();
}

void Parser::rebuild() {
  elements_.clear();
  if (separators_.empty()) return;  // nothing can end a run
  // A lookup table keeps the scan linear even for long separator sets.
  bool isSep[256] = {};
  isSep[0] = true;  // a zero byte ends an element like the end of the text
  for (unsigned char c : separators_) isSep[c] = true;
  const size_t n = text_.size();
  uint32_t runStart = 0, runLength = 0;
  for (size_t p = 0; p <= n; ++p) {
    unsigned char c = p < n ? static_cast<unsigned char>(text_[p]) : 0;
    if (isSep[c]) {
      if (runLength > 0) {
        elements_.push_back({runStart, runLength});
        runLength = 0;
      }
    } else {
      if (runLength == 0) runStart = static_cast<uint32_t>(p);
      ++runLength;
    }
  }
}

int Parser::count() const { return static_cast<int>(elements_.size()); }

uint32_t Parser::start(int i) const {
  assert(i >= 0 && i < count());
  return elements_[i].start;
}

uint32_t Parser::length(int i) const {
  assert(i >= 0 && i < count());
  return elements_[i].length;
}

std::string Parser::show(int i) const {
  if (i < 0 || i >= count()) {
    Log::fail("Parser.show: Element %d nie istnieje\n", i);
    return std::string();
  }
  return text_.substr(elements_[i].start, elements_[i].length);
}

int Parser::val(int i) const {
  if (i < 0 || i >= count()) {
    Log::fail("Parser.val: Element %d nie istnieje\n", i);
    return 0;
  }
  // Elements never hold a zero byte, so the copy is a proper C string.
  // strtol saturates where atoi's overflow is undefined; the narrowing then
  // matches what atoi does on this platform.
  std::string s = show(i);
  return static_cast<int>(std::strtol(s.c_str(), nullptr, 10));
}

float Parser::valf(int i) const {
  if (i < 0 || i >= count()) {
    Log::fail("Parser.val: Element %d nie istnieje\n", i);
    return 0.0f;
  }
  std::string s = show(i);
  double d = strtod_l(s.c_str(), nullptr, cLocale());
  // Narrowing an out-of-range double is undefined; saturate to infinity as
  // the hardware conversion would.
  if (d > FLT_MAX) return HUGE_VALF;
  if (d < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(d);
}

bool Parser::isVal(int i) const {
  if (i < 0 || i >= count()) {
    Log::fail("Parser.isVal: Element %d nie istnieje\n", i);
    return false;
  }
  std::string s = show(i);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%d", static_cast<int>(std::strtol(s.c_str(), nullptr, 10)));
  return s == buf;
}

void Parser::setStr(const std::string& text) {
  text_ = text;
  rebuild();
}

void Parser::setSep(const std::string& separators) {
  separators_ = separators;
  rebuild();
}

void Parser::del(int i) {
  if (i < 0 || i >= count()) {
    Log::fail("Parser.del: Element %d nie istnieje\n", i);
    return;
  }
  const size_t start = elements_[i].start;
  // With a follower the separators behind the element go too; a last
  // element leaves the separators around it in place.
  size_t len = i + 1 < count() ? elements_[i + 1].start - start : elements_[i].length;
  text_.erase(start, std::min(len, text_.size() - start));
  rebuild();
}

void Parser::ins(int i, const std::string& s) {
  if (i < -1 || i >= count()) {
    Log::fail("Parser.ins: Element %d nie istnieje\n", i);
    return;
  }
  if (i + 1 < count()) {
    std::string piece = s;
    if (!separators_.empty()) piece += separators_[0];
    text_.insert(elements_[i + 1].start, piece);
  } else {
    // Behind the last element (or into a text without elements): append,
    // with a separator in front unless the text already ends in one, so the
    // new word never glues onto the last element.
    if (!separators_.empty() && !text_.empty() &&
        separators_.find(text_.back()) == std::string::npos && text_.back() != '\0')
      text_ += separators_[0];
    text_ += s;
  }
  rebuild();
}

void Parser::swap(int i, const std::string& s) {
  if (i < 0 || i >= count()) {
    Log::fail("Parser.swap: Element %d nie istnieje\n", i);
    return;
  }
  // The new word takes the old one's place, with a separator behind it.
  const size_t start = elements_[i].start;
  del(i);
  std::string piece = s;
  if (!separators_.empty()) piece += separators_[0];
  text_.insert(start, piece);
  rebuild();
}
