#include "resources/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

mode_t newFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

ReplaceResult failed(ReplaceResult r, std::string* error, int err) {
  if (error) *error = std::strerror(err ? err : EIO);
  return r;
}

// Opens `target` for writing, truncating it, and writes all of `bytes`.
ReplaceResult writeInto(const std::string& target, const std::string& bytes, ReplaceResult done,
                        std::string* error) {
  FilePtr f(std::fopen(target.c_str(), "wb"));
  if (!f) return failed(ReplaceResult::CannotCreate, error, errno);
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size() &&
            std::fflush(f.get()) == 0;
  int err = errno;
  ok = std::fclose(f.release()) == 0 && ok;
  if (!ok) return failed(ReplaceResult::WriteFailed, error, err ? err : errno);
  return done;
}

// Writing in place is not atomic: when the new contents cannot be written
// whole, the old ones are put back (truncating freed their space, so they
// fit again), rather than leaving a torn file.
ReplaceResult writeInPlace(const std::string& target, const std::string& bytes, std::string* error) {
  std::string old;
  {
    FilePtr in(std::fopen(target.c_str(), "rb"));
    if (!in) return failed(ReplaceResult::CannotCreate, error, errno);
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) old.append(chunk, n);
    if (std::ferror(in.get())) return failed(ReplaceResult::CannotCreate, error, EIO);
  }
  std::string why;
  ReplaceResult r = writeInto(target, bytes, ReplaceResult::InPlace, &why);
  if (r != ReplaceResult::InPlace) {
    writeInto(target, old, ReplaceResult::InPlace, nullptr);
    if (error) *error = why;
  }
  return r;
}

}  // namespace

ReplaceResult replaceFile(const std::string& path, const std::string& bytes,
                          bool inPlaceFallback, std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target(path);
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    // Keep the link and replace the file it names.
    fs::path real = fs::canonical(target, ec);
    if (!ec) target = real;
  }
  const auto status = fs::status(target, ec);
  // A device or a pipe cannot be replaced by renaming: write into it.
  if (fs::exists(status) && !fs::is_regular_file(status))
    return writeInto(target.string(), bytes, ReplaceResult::Replaced, error);

  if (target.has_parent_path() && !fs::exists(target.parent_path(), ec))
    fs::create_directories(target.parent_path(), ec);

  std::string tmp = target.string() + ".XXXXXX";
  int fd = mkstemp(&tmp[0]);
  if (fd < 0) {
    const int err = errno;
    // The folder takes no new file, but the file itself may still be
    // writable: better overwrite it than lose the new contents.
    if (inPlaceFallback && fs::is_regular_file(status) && access(target.c_str(), W_OK) == 0)
      return writeInPlace(target.string(), bytes, error);
    return failed(ReplaceResult::CannotCreate, error, err);
  }
  fchmod(fd, fs::exists(status) ? (static_cast<mode_t>(status.permissions()) & 07777)
                                : newFileMode());
  FilePtr f(fdopen(fd, "wb"));
  if (!f) {
    const int err = errno;
    ::close(fd);
    unlink(tmp.c_str());
    return failed(ReplaceResult::CannotCreate, error, err);
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
  ok = ok && std::fflush(f.get()) == 0 && fsync(fileno(f.get())) == 0;
  int err = ok ? 0 : errno;
  ok = std::fclose(f.release()) == 0 && ok;
  if (!err && !ok) err = errno;
  if (ok && std::rename(tmp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(tmp.c_str());
    return failed(ReplaceResult::WriteFailed, error, err);
  }
  // Make the rename itself durable.
  const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    fsync(dfd);
    ::close(dfd);
  }
  return ReplaceResult::Replaced;
}
