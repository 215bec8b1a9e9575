#include "base/log.h"

#include <cstdarg>
#include <cstdio>

namespace Log {
namespace {

Capture* g_capture = nullptr;

std::string vformat(const char* fmt, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  char small[512];
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, n);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(&big[0], big.size(), fmt, ap);
  big.resize(n);
  return big;
}

void write(const char* prefix, const char* fmt, va_list ap) {
  std::string text = prefix;
  text += vformat(fmt, ap);
  if (text.empty() || text.back() != '\n') text += '\n';
  emit(text);
}

}  // namespace

void emit(const std::string& text) {
  bool quiet = false;
  if (g_capture) {
    quiet = g_capture->quiet_;
    // Split into lines; a text always ends with a newline here.
    size_t start = 0;
    while (start < text.size()) {
      size_t nl = text.find('\n', start);
      if (nl == std::string::npos) nl = text.size();
      g_capture->lines_.push_back(text.substr(start, nl - start));
      start = nl + 1;
    }
  }
  if (!quiet) std::fwrite(text.data(), 1, text.size(), stdout);
}

#define TERVALO_LOG_FN(name, prefix)      \
  void name(const char* fmt, ...) {       \
    va_list ap;                           \
    va_start(ap, fmt);                    \
    write(prefix, fmt, ap);               \
    va_end(ap);                           \
  }
TERVALO_LOG_FN(fail, "FAIL: ")
TERVALO_LOG_FN(info, "INFO: ")
TERVALO_LOG_FN(ok, "OK  : ")
TERVALO_LOG_FN(line, "")
#undef TERVALO_LOG_FN

void initStdout() { std::setvbuf(stdout, nullptr, _IOLBF, 0); }

Capture::Capture(bool quiet) : quiet_(quiet), prev_(g_capture) { g_capture = this; }
Capture::~Capture() { g_capture = prev_; }

bool Capture::has(const std::string& text) const {
  for (const auto& l : lines_)
    if (l == text) return true;
  return false;
}
bool Capture::contains(const std::string& text) const { return count(text) > 0; }
size_t Capture::count(const std::string& text) const {
  size_t n = 0;
  for (const auto& l : lines_)
    if (l.find(text) != std::string::npos) ++n;
  return n;
}
std::string Capture::joined() const {
  std::string s;
  for (const auto& l : lines_) s += l + "\n";
  return s;
}

}  // namespace Log
