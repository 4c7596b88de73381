// Makes writes to chosen files fail the way a full disk makes them fail, for
// the fault-injection tests; loaded with LD_PRELOAD into the tool.
//   ULV_FAIL_FILES  a part of the names of the files whose writes fail
//   ULV_FAIL_AFTER  how many stdio writes to those files succeed first (0)
//   ULV_FAIL_ERRNO  the error they fail with (ENOSPC)
//   ULV_FAIL_ONCE   when set, only that one write fails (a passing fault);
//                   otherwise every later write, pwrite and fsync of those
//                   files fails as well (the disk stays full)
// stdio's own flushes go to the kernel without passing here, so a failed
// fwrite leaves a hole in the file: the worst case for a writer to notice.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#define WATCHED 64

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static FILE* streams[WATCHED];
static int descriptors[WATCHED];
static long writesSeen;
static int diskFull;

static void* real(const char* name) {
  return dlsym(RTLD_NEXT, name);
}

static long setting(const char* name, long otherwise) {
  const char* text = getenv(name);
  return text != NULL && *text != '\0' ? strtol(text, NULL, 10) : otherwise;
}

static int chosen(const char* path) {
  const char* part = getenv("ULV_FAIL_FILES");
  return path != NULL && part != NULL && *part != '\0' && strstr(path, part) != NULL;
}

static void watchStream(FILE* stream) {
  pthread_mutex_lock(&lock);
  for (int k = 0; k < WATCHED; ++k) {
    if (streams[k] == NULL) {
      streams[k] = stream;
      break;
    }
  }
  pthread_mutex_unlock(&lock);
}

static void watchDescriptor(int fd) {
  pthread_mutex_lock(&lock);
  for (int k = 0; k < WATCHED; ++k) {
    if (descriptors[k] == 0) {
      descriptors[k] = fd + 1;
      break;
    }
  }
  pthread_mutex_unlock(&lock);
}

// Whether `stream` (or else `fd`) is watched; forgets it when `forget`.
static int watched(FILE* stream, int fd, int forget) {
  int found = 0;
  pthread_mutex_lock(&lock);
  for (int k = 0; k < WATCHED && !found; ++k) {
    if (stream != NULL ? streams[k] == stream : descriptors[k] == fd + 1) {
      found = 1;
      if (forget && stream != NULL) streams[k] = NULL;
      if (forget && stream == NULL) descriptors[k] = 0;
    }
  }
  pthread_mutex_unlock(&lock);
  return found;
}

// Whether this stdio write to a watched file fails.
static int streamWriteFails(void) {
  pthread_mutex_lock(&lock);
  const long index = writesSeen++;
  int fails = diskFull;
  if (index == setting("ULV_FAIL_AFTER", 0)) {
    fails = 1;
    diskFull = getenv("ULV_FAIL_ONCE") == NULL;
  }
  pthread_mutex_unlock(&lock);
  return fails;
}

static int failWith(void) {
  errno = (int)setting("ULV_FAIL_ERRNO", ENOSPC);
  return -1;
}

static int descriptorFails(int fd) {
  pthread_mutex_lock(&lock);
  const int full = diskFull;
  pthread_mutex_unlock(&lock);
  return full && watched(NULL, fd, 0);
}

static FILE* openStream(const char* function, const char* path, const char* mode) {
  FILE* (*next)(const char*, const char*) = real(function);
  FILE* stream = next(path, mode);
  if (stream != NULL && chosen(path) && strpbrk(mode, "wa+") != NULL) watchStream(stream);
  return stream;
}

FILE* fopen(const char* path, const char* mode) {
  return openStream("fopen", path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  return openStream("fopen64", path, mode);
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
  size_t (*next)(const void*, size_t, size_t, FILE*) = real("fwrite");
  if (watched(stream, -1, 0) && streamWriteFails()) {
    failWith();
    return 0;
  }
  return next(data, size, count, stream);
}

int fclose(FILE* stream) {
  int (*next)(FILE*) = real("fclose");
  watched(stream, -1, 1);
  return next(stream);
}

static int openDescriptor(const char* function, const char* path, int flags, mode_t mode) {
  int (*next)(const char*, int, ...) = real(function);
  const int fd = next(path, flags, mode);
  if (fd >= 0 && chosen(path) && (flags & O_ACCMODE) != O_RDONLY) watchDescriptor(fd);
  return fd;
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return openDescriptor("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
  va_end(args);
  return openDescriptor("open64", path, flags, mode);
}

int close(int fd) {
  int (*next)(int) = real("close");
  watched(NULL, fd, 1);
  return next(fd);
}

ssize_t write(int fd, const void* data, size_t size) {
  ssize_t (*next)(int, const void*, size_t) = real("write");
  return descriptorFails(fd) ? failWith() : next(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  ssize_t (*next)(int, const void*, size_t, off_t) = real("pwrite");
  return descriptorFails(fd) ? failWith() : next(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
  ssize_t (*next)(int, const void*, size_t, off_t) = real("pwrite64");
  return descriptorFails(fd) ? failWith() : next(fd, data, size, offset);
}

int fsync(int fd) {
  int (*next)(int) = real("fsync");
  return descriptorFails(fd) ? failWith() : next(fd);
}
