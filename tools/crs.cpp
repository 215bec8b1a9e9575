// crs: packs, lists, extracts and checks the engine's resource archives.
// Reading goes through the engine's own Resfile, so `verify` sees an archive
// exactly as the game will.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/log.h"
#include "maps/level_export.h"
#include "maps/level_import.h"
#include "resources/resfile.h"
#include "resources/resfile_writer.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage:\n"
    "  crs pack [-q] [-z|-Z] ARCHIVE FILE-or-DIR...\n"
    "      Writes ARCHIVE from the given files; a directory adds all of its\n"
    "      regular files (sorted by name, not recursive). Entry names are the\n"
    "      file names without their path. An entry is zlib-compressed only when\n"
    "      that makes it smaller; -z compresses every entry, -Z none. -q prints\n"
    "      nothing on success.\n"
    "  crs list ARCHIVE\n"
    "      Prints index, name, stored size, unpacked size and compression of\n"
    "      every entry.\n"
    "  crs extract ARCHIVE [ENTRY...] [-C DIR]\n"
    "      Writes the named entries (all when none is named) into DIR\n"
    "      (default: the current directory).\n"
    "  crs verify ARCHIVE\n"
    "      Reads and inflates every entry; reports every fault and exits with\n"
    "      status 1 if there is any.\n"
    "  crs tiled MAP OUT.crs [--entry NAME] [--game DIR]\n"
    "      Builds the level OUT.crs:NAME (default lvl) from a Tiled map (TMX or\n"
    "      JSON) and writes its characters and scripts into the game folder's\n"
    "      npc/ and lua/ lists (DIR, default: the folder holding the data/\n"
    "      folder OUT.crs lies in). On any refused feature of the map: the\n"
    "      reasons, exit status 1, nothing written.\n"
    "  crs untiled ARCHIVE:ENTRY MAP.tmx [--game DIR]\n"
    "      Writes the level back out as a Tiled map, with its tilesets and\n"
    "      pictures in the folder MAP/ beside it.\n";

int usage(const char* error = nullptr) {
  if (error) std::fprintf(stderr, "crs: %s\n", error);
  std::fputs(kUsage, stderr);
  return 2;
}

int fail(const std::string& msg) {
  std::fprintf(stderr, "crs: %s\n", msg.c_str());
  return 1;
}

// Engine log lines produced while reading are collected and passed on to
// standard error, so the tool's own output stays parseable.
void relay(const Log::Capture& cap) {
  for (const auto& l : cap.lines()) std::fprintf(stderr, "crs: %s\n", l.c_str());
}

bool readFile(const fs::path& p, std::string& out, std::string& error) {
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    error = "cannot open " + p.string() + ": " + std::strerror(errno);
    return false;
  }
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = "cannot read " + p.string();
    return false;
  }
  return true;
}

// Entry names become file names on extraction: nothing that could leave the
// target directory.
bool safeEntryName(const std::string& n) {
  return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos;
}

int cmdPack(std::vector<std::string> args) {
  bool quiet = false;
  auto mode = ResfileWriter::Compression::Auto;
  std::vector<std::string> rest;
  for (const auto& a : args) {
    if (a == "-q") quiet = true;
    else if (a == "-z") mode = ResfileWriter::Compression::Always;
    else if (a == "-Z") mode = ResfileWriter::Compression::Never;
    else if (a.size() > 1 && a[0] == '-' && rest.empty()) return usage(("unknown option " + a).c_str());
    else rest.push_back(a);
  }
  if (rest.size() < 2) return usage("pack needs an archive and at least one file or directory");
  const std::string archive = rest[0];

  std::vector<fs::path> files;
  for (size_t i = 1; i < rest.size(); ++i) {
    std::error_code ec;
    const fs::path p(rest[i]);
    if (fs::is_directory(p, ec)) {
      std::vector<fs::path> inDir;
      for (const auto& de : fs::directory_iterator(p, ec))
        if (de.is_regular_file(ec)) inDir.push_back(de.path());
      if (ec) return fail("cannot list " + p.string() + ": " + ec.message());
      std::sort(inDir.begin(), inDir.end(),
                [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
      files.insert(files.end(), inDir.begin(), inDir.end());
    } else if (fs::is_regular_file(p, ec)) {
      files.push_back(p);
    } else {
      return fail("not a regular file or directory: " + p.string());
    }
  }

  ResfileWriter writer(9);
  uint64_t total = 0;
  std::vector<std::string> seen;
  for (const auto& f : files) {
    const std::string name = f.filename().string();
    if (name.find(':') != std::string::npos) {
      // Resource names split at colons: no name could reach this entry.
      std::fprintf(stderr, "crs: warning: skipping \"%s\": entry names cannot hold ':'\n",
                   f.string().c_str());
      continue;
    }
    std::string bytes, error;
    if (!readFile(f, bytes, error)) return fail(error);
    if (bytes.size() >= UINT32_MAX) return fail("file too large for an archive: " + f.string());
    if (std::find(seen.begin(), seen.end(), name) != seen.end())
      std::fprintf(stderr, "crs: warning: entry name \"%s\" occurs twice; the later one wins\n",
                   name.c_str());
    seen.push_back(name);
    if (!writer.add(name, bytes, mode)) return fail("zlib failed on " + f.string());
    const auto& it = writer.items().back();
    total += it.data.size() + it.name.size() + 17;
    if (total >= UINT32_MAX) return fail("archive would exceed 4 GiB");
    if (!quiet)
      std::printf("%-32s %10u -> %10zu%s\n", name.c_str(), it.rawSize, it.data.size(),
                  it.compressed ? " (zlib)" : "");
  }
  std::string error;
  if (!writer.write(archive, &error)) {
    return fail("cannot write " + archive + ": " + error);
  }
  if (!quiet) std::printf("%s: %zu entries\n", archive.c_str(), writer.items().size());
  return 0;
}

// Opens `archive` with a private reader; false (and the reasons on stderr)
// when it cannot be used at all. Table faults that still leave an archive
// are counted in `faults`.
bool openArchive(Resfile& res, const std::string& archive, int& faults) {
  Log::Capture cap;
  const bool ok = res.open(archive);
  relay(cap);
  faults += static_cast<int>(cap.count("FAIL: "));
  if (!ok) {
    if (cap.lines().empty()) std::fprintf(stderr, "crs: cannot open %s: %s\n", archive.c_str(), std::strerror(errno));
    else std::fprintf(stderr, "crs: %s is not a usable archive\n", archive.c_str());
  }
  return ok;
}

int cmdList(const std::vector<std::string>& args) {
  if (args.size() != 1) return usage("list needs exactly one archive");
  Resfile res;
  int faults = 0;
  if (!openArchive(res, args[0], faults)) return 1;
  std::printf("%6s  %-32s %10s %10s  %s\n", "index", "name", "stored", "unpacked", "zlib");
  for (size_t i = 0; i < res.entries().size(); ++i) {
    const auto& e = res.entries()[i];
    const bool z = e.flags & 1;
    std::printf("%6zu  %-32s %10u %10u  %s\n", i, res.names()[i].c_str(), e.size,
                z ? e.unpackedSize : e.size, z ? "yes" : "no");
  }
  return faults ? 1 : 0;
}

int cmdExtract(const std::vector<std::string>& args) {
  std::string dir = ".";
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-C") {
      if (i + 1 >= args.size()) return usage("-C needs a directory");
      dir = args[++i];
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.empty()) return usage("extract needs an archive");
  const std::string archive = rest[0];
  Resfile res;
  int faults = 0;
  if (!openArchive(res, archive, faults)) return 1;
  std::error_code ec;
  fs::create_directories(dir, ec);

  std::vector<uint32_t> picks;
  if (rest.size() == 1) {
    for (uint32_t i = 0; i < res.entries().size(); ++i) picks.push_back(i);
  } else {
    for (size_t k = 1; k < rest.size(); ++k) {
      // By name the later of two equal names is meant, as in the game.
      uint32_t found = UINT32_MAX;
      for (uint32_t i = 0; i < res.names().size(); ++i)
        if (res.names()[i] == rest[k]) found = i;
      if (found == UINT32_MAX) {
        std::fprintf(stderr, "crs: no entry \"%s\" in %s\n", rest[k].c_str(), archive.c_str());
        ++faults;
      } else {
        picks.push_back(found);
      }
    }
  }
  for (uint32_t i : picks) {
    const std::string name = res.names()[i];
    if (!safeEntryName(name)) {
      std::fprintf(stderr, "crs: entry %u has an unsafe name \"%s\"; skipped\n", i, name.c_str());
      ++faults;
      continue;
    }
    Log::Capture cap;
    ResBuffer buf = res.load(archive, i);
    relay(cap);
    if (!buf) {
      ++faults;
      continue;
    }
    const std::string out = (fs::path(dir) / name).string();
    FILE* f = std::fopen(out.c_str(), "wb");
    bool ok = f && std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) {
      std::fprintf(stderr, "crs: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
      ++faults;
    }
  }
  return faults ? 1 : 0;
}

int cmdVerify(const std::vector<std::string>& args) {
  if (args.size() != 1) return usage("verify needs exactly one archive");
  const std::string archive = args[0];
  Resfile res;
  int faults = 0;
  if (!openArchive(res, archive, faults)) return 1;
  const size_t n = res.entries().size();
  for (uint32_t i = 0; i < n; ++i) {
    const std::string name = res.names()[i];
    const bool z = res.entries()[i].flags & 1;
    const uint32_t declared = res.entries()[i].unpackedSize;
    Log::Capture cap;
    ResBuffer buf = res.load(archive, i);
    if (!buf) {
      ++faults;
      for (const auto& l : cap.lines())
        std::fprintf(stderr, "crs: entry %u \"%s\": %s\n", i, name.c_str(), l.c_str());
      continue;
    }
    if (z && buf.size() != declared) {
      ++faults;
      std::fprintf(stderr, "crs: entry %u \"%s\": inflates to %u bytes, table says %u\n", i,
                   name.c_str(), buf.size(), declared);
    }
  }
  if (faults) {
    std::printf("%s: %d fault%s in %zu entries\n", archive.c_str(), faults, faults == 1 ? "" : "s", n);
    return 1;
  }
  std::printf("%s: %zu entries OK\n", archive.c_str(), n);
  return 0;
}

// Options after the positional words: --entry NAME, --game DIR.
bool mapOptions(const std::vector<std::string>& args, std::vector<std::string>& pos,
                std::string& entry, std::string& game) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--entry" || args[i] == "--game") {
      if (i + 1 >= args.size()) return false;
      (args[i] == "--entry" ? entry : game) = args[i + 1];
      ++i;
    } else {
      pos.push_back(args[i]);
    }
  }
  return pos.size() == 2;
}

int cmdTiled(const std::vector<std::string>& args) {
  std::vector<std::string> pos;
  std::string entry = "lvl", game;
  if (!mapOptions(args, pos, entry, game)) return usage("tiled needs a map and an archive");
  tiled::LevelPack pack;
  std::vector<std::string> errors;
  const bool ok = tiled::importMap(pos[0], pos[1], entry, game, pack, errors);
  for (const auto& w : pack.warnings) std::fprintf(stderr, "%s (warning)\n", w.c_str());
  if (!ok) {
    for (const auto& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
    return 1;
  }
  std::printf("%s: %zu frames, %zu objects, %zu characters\n", pack.levelName.c_str(), pack.frames,
              pack.objects, pack.npcs);
  return 0;
}

int cmdUntiled(const std::vector<std::string>& args) {
  std::vector<std::string> pos;
  std::string entry, game;
  if (!mapOptions(args, pos, entry, game) || !entry.empty())
    return usage("untiled needs ARCHIVE:ENTRY and a map file");
  std::vector<std::string> errors;
  tiled::ExportReport report;
  if (!tiled::exportLevel(pos[0], pos[1], game, report, errors)) {
    for (const auto& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
    return 1;
  }
  std::printf("%s: %zu frames in %zu layers, %zu objects, %zu characters\n", pos[1].c_str(),
              report.frames, report.layers, report.objects, report.npcs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string cmd = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (cmd == "pack") return cmdPack(args);
  if (cmd == "list") return cmdList(args);
  if (cmd == "extract") return cmdExtract(args);
  if (cmd == "verify") return cmdVerify(args);
  if (cmd == "tiled") return cmdTiled(args);
  if (cmd == "untiled") return cmdUntiled(args);
  if (cmd == "-h" || cmd == "--help" || cmd == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return usage(("unknown command " + cmd).c_str());
}
