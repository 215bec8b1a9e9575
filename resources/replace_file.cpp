#include "resources/replace_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
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

// Temporary files are named after the target: "sav01.bin" is written as
// "sav01.bin.tmp-" and six characters from mkstemp, and the writer holds a
// lock on it from its creation until it is renamed. One that nobody holds
// a lock on was left by a writer that was killed, and is removed.
constexpr const char kTmpMark[] = ".tmp-";
constexpr size_t kTmpRandom = 6;

bool isTmpName(const std::string& entry, const std::string& base) {
  const std::string prefix = base + kTmpMark;
  if (entry.size() != prefix.size() + kTmpRandom || entry.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < entry.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(entry[i]);
    if (!std::isalnum(c)) return false;
  }
  return true;
}

void removeStaleTemporaries(const std::filesystem::path& target) {
  const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
  const std::string base = target.filename().string();
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), &closedir);
  if (!d) return;
  while (dirent* e = readdir(d.get())) {
    const std::string entry = e->d_name;
    if (!isTmpName(entry, base)) continue;
    const std::string path = dir + "/" + entry;
    struct stat named;
    if (lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_uid != geteuid())
      continue;
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened;
    // Still the file that was looked at, and no writer holds it.
    if (fstat(fd, &opened) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino && flock(fd, LOCK_EX | LOCK_NB) == 0)
      unlink(path.c_str());
    ::close(fd);
  }
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

  std::string tmp = target.string() + kTmpMark + "XXXXXX";
  int fd = mkstemp(&tmp[0]);
  if (fd < 0) {
    const int err = errno;
    // The folder takes no new file, but the file itself may still be
    // writable: better overwrite it than lose the new contents.
    if (inPlaceFallback && fs::is_regular_file(status) && access(target.c_str(), W_OK) == 0)
      return writeInPlace(target.string(), bytes, error);
    return failed(ReplaceResult::CannotCreate, error, err);
  }
  // Held until the rename is done (the stream's own descriptor closes
  // before it): a temporary file under a lock is being written.
  const int lockFd = dup(fd);
  if (lockFd >= 0) flock(lockFd, LOCK_EX);
  struct LockRelease {
    int fd;
    ~LockRelease() {
      if (fd >= 0) ::close(fd);
    }
  } lockRelease{lockFd};
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
  removeStaleTemporaries(target);
  return ReplaceResult::Replaced;
}
