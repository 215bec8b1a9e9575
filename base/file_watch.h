// Notices files that change under a folder while the game runs (Linux
// inotify), without blocking: the frame loop polls it once per frame.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

class FileWatch {
 public:
  FileWatch() = default;
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // Watches `root` and every folder below it, except the folders directly
  // under `root` named in `skip` (folders the game itself writes to).
  // Folders made later are watched as they appear. False when the system
  // offers no watching (the game then runs without it).
  bool start(const std::string& root, const std::set<std::string>& skip);
  void stop();
  bool active() const { return fd_ >= 0; }

  // Files written, created, moved in or out, or deleted since the last
  // poll, as paths relative to the root ("npc/soltys", "data/gfx.crs"),
  // each once, in the order first seen. Editors' scratch files (hidden
  // names, backups ending in "~", swap files) are left out.
  std::vector<std::string> poll();

  // True for names that editors use for scratch and backup copies.
  static bool scratchName(const std::string& name);

 private:
  void watchTree(const std::string& rel);

  int fd_ = -1;
  std::string root_;
  std::set<std::string> skip_;
  std::map<int, std::string> dirs_;  // watch descriptor -> folder relative to root ("" = root)
};
