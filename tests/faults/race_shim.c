/* LD_PRELOAD shim that plays the other program in a race. Each fault fires
 * once, on the path named in its variable, and appends a line to
 * ZEK_SHIM_MARKER when it does:
 *   ZEK_SHIM_VANISH=PATH
 *       unlink PATH once the directory search has delivered it and looked at it,
 *       at the next look at PATH (a stat or an open)
 *   ZEK_SHIM_RESIZE=PATH ZEK_SHIM_RESIZE_TO=BYTES   truncate or extend PATH after the first read from it
 *   ZEK_SHIM_CREATE=PATH                            create PATH with content just before an exclusive create of it
 *   ZEK_SHIM_FIFO=PATH ZEK_SHIM_FIFO_FROM=FIFO
 *       rename FIFO over PATH just before a raw openat system call names PATH
 *       (the read-ahead helpers open through syscall(); the run through libc)
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

static const char* vanish_path;
static const char* vanish_name; /* the last component of vanish_path */
/* 0: not listed yet; 1: delivered by readdir; 2: the search has looked at it */
static int vanish_listed;
static const char* resize_path;
static off_t resize_to;
static const char* create_path;
static const char* fifo_path;
static const char* fifo_from;

static int (*real_stat)(const char*, struct stat*);
static int (*real_fstatat)(int, const char*, struct stat*, int);
static struct dirent* (*real_readdir)(DIR*);
static ssize_t (*real_read)(int, void*, size_t);
static int (*real_open)(const char*, int, ...);
static int (*real_open64)(const char*, int, ...);
static int (*real_openat)(int, const char*, int, ...);
static long (*real_syscall)(long, ...);

__attribute__((constructor)) static void shim_init(void) {
  real_stat = (int (*)(const char*, struct stat*))dlsym(RTLD_NEXT, "stat");
  real_fstatat = (int (*)(int, const char*, struct stat*, int))dlsym(RTLD_NEXT, "fstatat");
  real_readdir = (struct dirent * (*)(DIR*)) dlsym(RTLD_NEXT, "readdir");
  real_read = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  real_open = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
  real_open64 = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open64");
  real_openat = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat");
  real_syscall = (long (*)(long, ...))dlsym(RTLD_NEXT, "syscall");
  vanish_path = getenv("ZEK_SHIM_VANISH");
  if (vanish_path != NULL)
    vanish_name = strrchr(vanish_path, '/') != NULL ? strrchr(vanish_path, '/') + 1 : vanish_path;
  resize_path = getenv("ZEK_SHIM_RESIZE");
  if (getenv("ZEK_SHIM_RESIZE_TO") != NULL) resize_to = (off_t)atoll(getenv("ZEK_SHIM_RESIZE_TO"));
  create_path = getenv("ZEK_SHIM_CREATE");
  fifo_path = getenv("ZEK_SHIM_FIFO");
  fifo_from = getenv("ZEK_SHIM_FIFO_FROM");
}

static void mark(const char* what, const char* path) {
  const char* marker = getenv("ZEK_SHIM_MARKER");
  if (marker == NULL) return;
  const int fd = real_open(marker, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  dprintf(fd, "%s %s\n", what, path);
  close(fd);
}

/* Another program removes the file just before the program looks at it. */
static void vanish(const char* path) {
  if (vanish_path == NULL || strcmp(path, vanish_path) != 0) return;
  if (vanish_listed < 2) {
    /* The directory search's own look at the entry it has just delivered. */
    if (vanish_listed == 1) vanish_listed = 2;
    return;
  }
  if (unlink(path) == 0) mark("vanish", path);
  vanish_path = NULL;
}

/* The whole path that (dirfd, path) names, in out. */
static const char* full_path(int dirfd, const char* path, char* out, size_t size) {
  if (dirfd == AT_FDCWD || path[0] == '/') return path;
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
  const ssize_t n = readlink(link, out, size - 1);
  if (n <= 0) return path;
  out[n] = '\0';
  if (strcmp(path, ".") != 0) snprintf(out + n, size - (size_t)n, "/%s", path);
  return out;
}

struct dirent* readdir(DIR* dir) {
  struct dirent* entry = real_readdir(dir);
  if (entry != NULL && vanish_name != NULL && vanish_listed == 0 && strcmp(entry->d_name, vanish_name) == 0)
    vanish_listed = 1;
  return entry;
}

int fstatat(int dirfd, const char* path, struct stat* st, int flags) {
  /* The first look after the listing is the search's own, the next the existence test. */
  char full[8192];
  vanish(full_path(dirfd, path, full, sizeof full));
  return real_fstatat(dirfd, path, st, flags);
}

int stat(const char* path, struct stat* st) {
  vanish(path);
  return real_stat(path, st);
}

ssize_t read(int fd, void* buf, size_t count) {
  const ssize_t got = real_read(fd, buf, count);
  if (resize_path != NULL && got > 0) {
    const int saved = errno;
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n > 0) {
      target[n] = '\0';
      if (strcmp(target, resize_path) == 0 && truncate(resize_path, resize_to) == 0) {
        mark("resize", resize_path);
        resize_path = NULL;
      }
    }
    errno = saved;
  }
  return got;
}

/* Before an exclusive create of the watched name, another program gets there first. */
static void race_create(const char* path, int flags) {
  if (create_path == NULL || (flags & (O_CREAT | O_EXCL)) != (O_CREAT | O_EXCL) || strcmp(path, create_path) != 0)
    return;
  const int fd = real_open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  static const char content[] = "written in the race window\n";
  if (write(fd, content, sizeof content - 1) == (ssize_t)(sizeof content - 1)) mark("create", path);
  close(fd);
  create_path = NULL;
}

static mode_t mode_arg(int flags, va_list ap) {
  return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? (mode_t)va_arg(ap, int) : 0;
}

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = mode_arg(flags, ap);
  va_end(ap);
  vanish(path);
  race_create(path, flags);
  return real_open(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = mode_arg(flags, ap);
  va_end(ap);
  vanish(path);
  race_create(path, flags);
  return real_open64(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = mode_arg(flags, ap);
  va_end(ap);
  char full[8192];
  vanish(full_path(dirfd, path, full, sizeof full));
  race_create(full_path(dirfd, path, full, sizeof full), flags);
  return real_openat(dirfd, path, flags, mode);
}

/* Another program puts a FIFO in the place of a file just listed as regular. */
long syscall(long number, ...) {
  va_list ap;
  va_start(ap, number);
  long a[6];
  for (int i = 0; i < 6; ++i) a[i] = va_arg(ap, long);
  va_end(ap);
  if (number == SYS_openat && fifo_path != NULL && fifo_from != NULL) {
    char full[8192];
    if (strcmp(full_path((int)a[0], (const char*)a[1], full, sizeof full), fifo_path) == 0 &&
        rename(fifo_from, fifo_path) == 0) {
      mark("fifo", fifo_path);
      fifo_path = NULL;
    }
  }
  return real_syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
