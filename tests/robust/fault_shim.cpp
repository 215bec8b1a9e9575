// LD_PRELOAD shim for the save fault matrix: file operations on paths under
// one folder fail on demand, and writing there draws on a byte budget that
// stands in for the free space of the disk.
//
//   TERVALO_FAULT_DIR    folder whose files are affected (required)
//   TERVALO_FAULT_OP     open | write | fsync | close | rename: the first such
//                        call on a file there fails (EACCES for open and
//                        rename, EIO otherwise); anything else: none fails
//   TERVALO_FAULT_SPACE  bytes that may still be written there (absent: no
//                        limit); past it writes are cut short with ENOSPC.
//                        Truncating an existing file gives its bytes back.
//
// Only what the save uses is covered: open/openat/fopen/mkstemp for
// writing, write/fwrite, fsync/fdatasync, close/fclose, rename/renameat.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define MAX_FD 4096

extern "C" {

static char g_dir[PATH_MAX];
static size_t g_dirLen;
static const char* g_op = "";
static long long g_space = -1;  // -1: unlimited
static int g_fired;             // the chosen operation has failed once
static unsigned char g_tracked[MAX_FD];

static void setup(void) __attribute__((constructor));
static void setup(void) {
  const char* dir = getenv("TERVALO_FAULT_DIR");
  if (dir && realpath(dir, g_dir)) g_dirLen = strlen(g_dir);
  const char* op = getenv("TERVALO_FAULT_OP");
  if (op) g_op = op;
  const char* space = getenv("TERVALO_FAULT_SPACE");
  if (space && *space) g_space = atoll(space);
}

#define REAL(name) \
  static __typeof__(name)* real_##name; \
  if (!real_##name) real_##name = reinterpret_cast<__typeof__(name)*>(dlsym(RTLD_NEXT, #name))

// Whether `path` (existing or about to be created) lies under the folder.
static int under(const char* path) {
  if (!g_dirLen || !path) return 0;
  char buf[PATH_MAX], dir[PATH_MAX];
  if (realpath(path, buf)) return strncmp(buf, g_dir, g_dirLen) == 0;
  // Not there yet: look at its folder.
  strncpy(dir, path, sizeof dir - 1);
  dir[sizeof dir - 1] = 0;
  char* slash = strrchr(dir, '/');
  if (slash)
    *slash = 0;
  else
    strcpy(dir, ".");
  if (!realpath(dir, buf)) return 0;
  return strncmp(buf, g_dir, g_dirLen) == 0;
}

static int fire(const char* op, int err) {
  if (g_fired || strcmp(g_op, op) != 0) return 0;
  g_fired = 1;
  errno = err;
  return 1;
}

static int tracked(int fd) { return fd >= 0 && fd < MAX_FD && g_tracked[fd]; }
static void track(int fd, int on) { if (fd >= 0 && fd < MAX_FD) g_tracked[fd] = (unsigned char)on; }

// Truncating an existing file frees its bytes.
static void credit(const char* path, int flags) {
  struct stat st;
  if (g_space >= 0 && (flags & O_TRUNC) && stat(path, &st) == 0) g_space += st.st_size;
}

// How much of `n` bytes may be written; 0 sets ENOSPC.
static size_t allowance(size_t n) {
  if (g_space < 0) return n;
  if ((long long)n > g_space) n = (size_t)g_space;
  return n;
}

static int opening(const char* path, int flags) {
  if (!(flags & (O_WRONLY | O_RDWR | O_CREAT)) || !under(path)) return 0;
  if (fire("open", EACCES)) return -1;
  credit(path, flags);
  return 1;
}

int open(const char* path, int flags, ...) {
  REAL(open);
  mode_t mode = 0;
  if (flags & O_CREAT) { va_list ap; va_start(ap, flags); mode = static_cast<mode_t>(va_arg(ap, int)); va_end(ap); }
  int w = opening(path, flags);
  if (w < 0) return -1;
  int fd = real_open(path, flags, mode);
  if (w > 0) track(fd, 1);
  return fd;
}
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int openat(int dirfd, const char* path, int flags, ...) {
  REAL(openat);
  mode_t mode = 0;
  if (flags & O_CREAT) { va_list ap; va_start(ap, flags); mode = static_cast<mode_t>(va_arg(ap, int)); va_end(ap); }
  int w = (dirfd == AT_FDCWD || path[0] == '/') ? opening(path, flags) : 0;
  if (w < 0) return -1;
  int fd = real_openat(dirfd, path, flags, mode);
  if (w > 0) track(fd, 1);
  return fd;
}
int openat64(int dirfd, const char* path, int flags, ...) __attribute__((alias("openat")));

FILE* fopen(const char* path, const char* mode) {
  REAL(fopen);
  int flags = 0;
  if (strchr(mode, 'w')) flags = O_WRONLY | O_CREAT | O_TRUNC;
  else if (strchr(mode, 'a') || strchr(mode, '+')) flags = O_RDWR | O_CREAT;
  int w = opening(path, flags);
  if (w < 0) return NULL;
  FILE* f = real_fopen(path, mode);
  if (f && w > 0) track(fileno(f), 1);
  return f;
}
FILE* fopen64(const char* path, const char* mode) __attribute__((alias("fopen")));

int mkstemp(char* tmpl) {
  REAL(mkstemp);
  if (under(tmpl) && fire("open", EACCES)) return -1;
  int fd = real_mkstemp(tmpl);
  if (fd >= 0 && under(tmpl)) track(fd, 1);
  return fd;
}
int mkstemp64(char* tmpl) __attribute__((alias("mkstemp")));

int mkostemp(char* tmpl, int flags) {
  REAL(mkostemp);
  if (under(tmpl) && fire("open", EACCES)) return -1;
  int fd = real_mkostemp(tmpl, flags);
  if (fd >= 0 && under(tmpl)) track(fd, 1);
  return fd;
}

ssize_t write(int fd, const void* buf, size_t n) {
  REAL(write);
  if (!tracked(fd)) return real_write(fd, buf, n);
  if (fire("write", EIO)) return -1;
  size_t ok = allowance(n);
  if (ok == 0 && n > 0) { errno = ENOSPC; return -1; }
  ssize_t done = real_write(fd, buf, ok);
  if (done > 0 && g_space >= 0) g_space -= done;
  return done;
}

size_t fwrite(const void* buf, size_t size, size_t count, FILE* f) {
  REAL(fwrite);
  if (!tracked(fileno(f)) || size == 0) return real_fwrite(buf, size, count, f);
  if (fire("write", EIO)) return 0;
  size_t want = size * count, ok = allowance(want);
  size_t items = real_fwrite(buf, size, ok / size, f);
  if (g_space >= 0) g_space -= (long long)(items * size);
  if (items < count) errno = ENOSPC;
  return items;
}

int fsync(int fd) {
  REAL(fsync);
  if (tracked(fd) && fire("fsync", EIO)) return -1;
  return real_fsync(fd);
}

int fdatasync(int fd) {
  REAL(fdatasync);
  if (tracked(fd) && fire("fsync", EIO)) return -1;
  return real_fdatasync(fd);
}

int close(int fd) {
  REAL(close);
  int was = tracked(fd);
  track(fd, 0);
  int rc = real_close(fd);
  if (was && rc == 0 && fire("close", EIO)) return -1;
  return rc;
}

int fclose(FILE* f) {
  REAL(fclose);
  int fd = f ? fileno(f) : -1;
  int was = tracked(fd);
  track(fd, 0);
  int rc = real_fclose(f);
  if (was && rc == 0 && fire("close", EIO)) return EOF;
  return rc;
}

int rename(const char* from, const char* to) {
  REAL(rename);
  if ((under(from) || under(to)) && fire("rename", EACCES)) return -1;
  return real_rename(from, to);
}

int renameat(int fromfd, const char* from, int tofd, const char* to) {
  REAL(renameat);
  if ((under(from) || under(to)) && fire("rename", EACCES)) return -1;
  return real_renameat(fromfd, from, tofd, to);
}

}  // extern "C"
