/* A stand-in for a slow disk in make bench: loaded with LD_PRELOAD, it makes
   every full sync wait 10 ms before it runs, as a spinning disk would. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <time.h>

typedef int (*SyncCall)(int);

static int waitThenSync(const char* name, int fd) {
  struct timespec wait = {0, 10 * 1000 * 1000};
  while (nanosleep(&wait, &wait) != 0) {
  }
  void* found = dlsym(RTLD_NEXT, name);
  SyncCall call;
  memcpy(&call, &found, sizeof call);
  return call(fd);
}

int fsync(int fd) { return waitThenSync("fsync", fd); }
int fdatasync(int fd) { return waitThenSync("fdatasync", fd); }
int syncfs(int fd) { return waitThenSync("syncfs", fd); }
