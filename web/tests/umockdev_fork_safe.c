// Preloaded after umockdev's library when a browser meets the emulated pads: makes umockdev's two
// locks safe across fork(). The browser starts its helper processes from pool threads, and the
// child opens /dev/null before it execs; if another thread of the browser held one of umockdev's
// locks at the fork, the child waits for that lock for ever, as no thread of the child will ever
// release it (about one browser start in ten). In the child both locks are made new and free: the
// child has one thread, and the state they guard is rebuilt on each call.
//   cc -shared -fPIC -O2 -o libumockdev_fork_safe.so umockdev_fork_safe.c -ldl -lpthread
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>

static pthread_mutex_t* lock_of(const char* name) {
  return (pthread_mutex_t*)dlsym(RTLD_DEFAULT, name);
}

static void renew_locks_in_child(void) {
  static const char* const names[] = {"trap_path_lock", "ioctl_lock"};
  for (unsigned i = 0; i < sizeof names / sizeof names[0]; ++i) {
    pthread_mutex_t* lock = lock_of(names[i]);
    if (lock) pthread_mutex_init(lock, NULL);
  }
}

__attribute__((constructor)) static void install(void) {
  if (!lock_of("trap_path_lock")) {
    fputs("umockdev_fork_safe: umockdev's preload is not loaded before this library\n", stderr);
    return;
  }
  pthread_atfork(NULL, NULL, renew_locks_in_child);
}
