// LD_PRELOAD shim for the save fault matrix, on files under TERVALO_FAULT_DIR: the first call
// of TERVALO_FAULT_OP (open | write | fsync | close | rename) fails (EACCES for open and rename,
// EIO otherwise), and writes past TERVALO_FAULT_SPACE bytes (the free space; truncating gives
// bytes back) are cut short with ENOSPC. Wrapped: the calls the save makes (fopen, mkstemp,
// fwrite, fsync, fclose, rename); the test checks that every kind of fault fired.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* g_dir = "";
size_t g_dirLen;
const char* g_op = "";
long long g_space = -1;  // -1: unlimited
bool g_fired;            // the chosen operation has failed once
bool g_tracked[4096];    // descriptors of files under the folder open for writing

__attribute__((constructor)) void setup() {
  if (const char* dir = getenv("TERVALO_FAULT_DIR")) g_dirLen = strlen(g_dir = dir);
  if (const char* op = getenv("TERVALO_FAULT_OP")) g_op = op;
  const char* space = getenv("TERVALO_FAULT_SPACE");
  if (space && *space) g_space = atoll(space);
}

template <typename F>
F* real(F*, const char* name) {
  return reinterpret_cast<F*>(dlsym(RTLD_NEXT, name));
}
#define REAL(name) static auto* real_##name = real(&name, #name)

// The test names the save by a path that begins with the folder as given.
bool under(const char* path) { return g_dirLen && path && strncmp(path, g_dir, g_dirLen) == 0; }

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

// -1: the open fails; 1: a file under the folder opened for writing.
int opening(const char* path, int flags) {
  if (!(flags & (O_WRONLY | O_RDWR | O_CREAT)) || !under(path)) return 0;
  if (fire("open", EACCES)) return -1;
  struct stat st;  // truncating an existing file frees its bytes
  if (g_space >= 0 && (flags & O_TRUNC) && stat(path, &st) == 0) g_space += st.st_size;
  return 1;
}

// How much of `n` bytes may be written.
size_t allowance(size_t n) {
  if (g_space < 0 || (long long)n <= g_space) return n;
  fprintf(stderr, "fault: space\n");
  return (size_t)g_space;
}

}  // namespace

extern "C" {

FILE* fopen(const char* path, const char* mode) {
  REAL(fopen);
  const int flags = strchr(mode, 'w')                        ? O_WRONLY | O_CREAT | O_TRUNC
                    : strchr(mode, 'a') || strchr(mode, '+') ? O_RDWR | O_CREAT
                                                             : 0;
  const int w = opening(path, flags);
  if (w < 0) return nullptr;
  FILE* f = real_fopen(path, mode);
  if (f && w > 0) track(fileno(f), true);
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
  if (!tracked(fileno(f)) || size == 0) return real_fwrite(buf, size, count, f);
  if (fire("write", EIO)) return 0;
  const size_t items = real_fwrite(buf, size, allowance(size * count) / size, f);
  if (g_space >= 0) g_space -= (long long)(items * size);
  if (items < count) errno = ENOSPC;
  return items;
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
