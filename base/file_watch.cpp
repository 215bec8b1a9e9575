#include "base/file_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace {

constexpr uint32_t kFileEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;

std::string join(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

}  // namespace

FileWatch::~FileWatch() { stop(); }

bool FileWatch::scratchName(const std::string& name) {
  if (name.empty() || name[0] == '.' || name.back() == '~' || name == "4913") return true;
  for (const char* ext : {".swp", ".swx", ".tmp"})
    if (name.size() > std::char_traits<char>::length(ext) &&
        name.compare(name.size() - std::char_traits<char>::length(ext), std::string::npos, ext) ==
            0)
      return true;
  return false;
}

bool FileWatch::start(const std::string& root, const std::set<std::string>& skip) {
  stop();
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return false;
  root_ = root;
  skip_ = skip;
  watchTree("");
  return true;
}

void FileWatch::stop() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  dirs_.clear();
}

void FileWatch::watchTree(const std::string& rel) {
  const std::string path = rel.empty() ? root_ : join(root_, rel);
  const int wd = inotify_add_watch(fd_, path.c_str(), kFileEvents | IN_ONLYDIR);
  if (wd < 0) return;
  dirs_[wd] = rel;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!it->is_directory(ec) || it->is_symlink(ec) || scratchName(name)) continue;
    if (rel.empty() && skip_.count(name)) continue;
    watchTree(join(rel, name));
  }
}

std::vector<std::string> FileWatch::poll() {
  std::vector<std::string> changed;
  if (fd_ < 0) return changed;
  alignas(inotify_event) char buf[16384];
  for (;;) {
    const ssize_t got = read(fd_, buf, sizeof buf);
    if (got <= 0) break;  // EAGAIN: nothing more for now
    for (ssize_t off = 0; off < got;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
      off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      if (ev->mask & IN_IGNORED) {
        dirs_.erase(ev->wd);
        continue;
      }
      auto dir = dirs_.find(ev->wd);
      if (dir == dirs_.end() || ev->len == 0) continue;
      const std::string name = ev->name;
      if (scratchName(name)) continue;
      const std::string rel = join(dir->second, name);
      if (ev->mask & IN_ISDIR) {
        if ((ev->mask & (IN_CREATE | IN_MOVED_TO)) && !(dir->second.empty() && skip_.count(name)))
          watchTree(rel);
        continue;
      }
      if (std::find(changed.begin(), changed.end(), rel) == changed.end()) changed.push_back(rel);
    }
  }
  return changed;
}
