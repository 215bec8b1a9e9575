// Console log of the engine: every notable step is one line on standard
// output beginning "FAIL: ", "INFO: " or "OK  : ".
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Log {

// printf-style; the prefix is added, and a newline unless the text already
// ends in one (many engine messages carry their own "\n").
void fail(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void info(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void ok(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A line without prefix (the separator line, for example).
void line(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Makes standard output line-buffered so no line is lost when the process
// is killed or its output is a pipe. Called first thing by the program.
void initStdout();

// Collects every line written while it lives (lines still reach stdout
// unless `quiet`). Tests use it to check messages; captures nest.
class Capture {
 public:
  explicit Capture(bool quiet = true);
  ~Capture();
  Capture(const Capture&) = delete;
  Capture& operator=(const Capture&) = delete;

  // Whole lines without their trailing newline, in order.
  const std::vector<std::string>& lines() const { return lines_; }
  // True when some line equals `text` exactly.
  bool has(const std::string& text) const;
  // True when some line contains `text`.
  bool contains(const std::string& text) const;
  // Number of lines that contain `text`.
  size_t count(const std::string& text) const;
  void clear() { lines_.clear(); }
  std::string joined() const;

 private:
  friend void emit(const std::string&);
  std::vector<std::string> lines_;
  bool quiet_;
  Capture* prev_;
};

// Writes already formatted text (one or more lines) to the log.
void emit(const std::string& text);

}  // namespace Log
