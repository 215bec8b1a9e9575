// Parser operations driven by the input: the first bytes choose separators
// and a sequence of edits, the rest is the text. After every step the
// element table must describe the text exactly.
#include "fuzz/fuzz_util.h"
#include "resources/parser.h"

static void check(const Parser& p, const std::string& seps) {
  const std::string t = p.getStr();
  uint64_t prevEnd = 0;
  for (int i = 0; i < p.count(); ++i) {
    const uint64_t s = p.start(i), l = p.length(i);
    if (l == 0 || s + l > t.size() || (i > 0 && s <= prevEnd)) std::abort();
    for (uint64_t k = s; k < s + l; ++k)
      if (t[k] == '\0' || seps.find(t[k]) != std::string::npos) std::abort();
    // Elements are maximal runs.
    if (s + l < t.size() && t[s + l] != '\0' && seps.find(t[s + l]) == std::string::npos) std::abort();
    prevEnd = s + l;
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t nSep = data[0] % 4;
  const size_t nOps = data[1] % 8;
  size_t pos = 2;
  if (size < pos + nSep + nOps * 2) return 0;
  std::string seps = fuzz::text(data + pos, nSep);
  pos += nSep;
  const uint8_t* ops = data + pos;
  pos += nOps * 2;
  const std::string text = fuzz::text(data + pos, size - pos);

  Log::Capture quiet;
  Parser p(text, seps);
  check(p, seps);
  for (size_t k = 0; k < nOps; ++k) {
    const int i = static_cast<int>(ops[2 * k + 1] % 10) - 2;  // -2 .. 7
    const std::string word = k % 2 ? "w" : "x y";
    switch (ops[2 * k] % 8) {
      case 0: p.del(i); break;
      case 1: p.ins(i, word); break;
      case 2: p.swap(i, word); break;
      case 3: p.show(i); p.val(i); p.valf(i); p.isVal(i); break;
      case 4: seps = std::string(1, static_cast<char>(ops[2 * k + 1])); p.setSep(seps); break;
      case 5: p.setStr(p.getStr() + text.substr(0, 16)); break;
      default: {
        const int before = p.count();
        const std::string t = p.getStr();
        p.del(i);
        if (i >= 0 && i < before && (p.count() != before - 1 || p.getStr().size() >= t.size()))
          std::abort();
      }
    }
    check(p, seps);
  }
  for (int i = 0; i < p.count(); ++i)
    if (p.isVal(i) && std::to_string(p.val(i)) != p.show(i)) std::abort();
  return 0;
}
