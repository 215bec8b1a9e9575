// LD_PRELOAD shim for the save fault matrix, on files under TERVALO_FAULT_DIR: the first call
// of TERVALO_FAULT_OP (open | write | fsync | close | rename) fails (EACCES for open and rename,
// EIO otherwise). A full disk is the unit tests' (a file-size limit, /dev/full). Wrapped: the
// calls the save makes (fopen, mkstemp, fwrite, fsync, fclose, rename); the test checks that
// every kind of fault fired.
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

char g_dir[PATH_MAX];
size_t g_dirLen;
const char* g_op = "";
bool g_fired;            // the chosen operation has failed once
bool g_tracked[4096];    // descriptors of files under the folder open for writing

__attribute__((constructor)) void setup() {
  const char* dir = getenv("TERVALO_FAULT_DIR");
  if (dir && realpath(dir, g_dir)) g_dirLen = strlen(g_dir);
  if (const char* op = getenv("TERVALO_FAULT_OP")) g_op = op;
}

template <typename F>
F* real(F*, const char* name) {
  return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}
#define REAL(name) static auto* real_##name = real(&name, #name)

// Whether `path` (existing, or about to be created in an existing folder)
// lies under the folder.
bool under(const char* path) {
  if (!g_dirLen || !path) return false;
  char buf[PATH_MAX];
  std::string p = path;
  if (!realpath(p.c_str(), buf)) {
    const size_t slash = p.rfind('/');
    p = slash == std::string::npos ? "." : p.substr(0, slash);
    if (!realpath(p.c_str(), buf)) return false;
  }
  return strncmp(buf, g_dir, g_dirLen) == 0;
}

// Each fault says so on stderr, so the test knows the shim reached the call.
bool fire(const char* op, int err) {
  if (g_fired || strcmp(g_op, op) != 0) return false;
  g_fired = true;
  errno = err;
  fprintf(stderr, "fault: %s\n", op);
  return true;
}

bool tracked(int fd) { return fd >= 0 && fd < 4096 && g_tracked[fd]; }
void track(int fd, bool on) {
  if (fd >= 0 && fd < 4096) g_tracked[fd] = on;
}

}  // namespace

extern "C" {

FILE* fopen(const char* path, const char* mode) {
  REAL(fopen);
  const bool mine = strpbrk(mode, "wa+") && under(path);  // a file under the folder, for writing
  if (mine && fire("open", EACCES)) return nullptr;
  FILE* f = real_fopen(path, mode);
  if (f && mine) track(fileno(f), true);
  return f;
}

int mkstemp(char* tmpl) {
  REAL(mkstemp);
  if (under(tmpl) && fire("open", EACCES)) return -1;
  const int fd = real_mkstemp(tmpl);
  if (fd >= 0 && under(tmpl)) track(fd, true);
  return fd;
}

size_t fwrite(const void* buf, size_t size, size_t count, FILE* f) {
  REAL(fwrite);
  return tracked(fileno(f)) && size && fire("write", EIO) ? 0 : real_fwrite(buf, size, count, f);
}

int fsync(int fd) {
  REAL(fsync);
  return tracked(fd) && fire("fsync", EIO) ? -1 : real_fsync(fd);
}

int fclose(FILE* f) {
  REAL(fclose);
  const bool was = f && tracked(fileno(f));
  if (f) track(fileno(f), false);
  const int rc = real_fclose(f);
  return was && rc == 0 && fire("close", EIO) ? EOF : rc;
}

int rename(const char* from, const char* to) {
  REAL(rename);
  return (under(from) || under(to)) && fire("rename", EACCES) ? -1 : real_rename(from, to);
}

}  // extern "C"
