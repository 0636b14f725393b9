/* Preloaded into the shipped game by the play-alone test: every wake-up
   broadcast of a condition variable takes a third of a millisecond longer
   to return. A thread that broadcasts while holding a mutex therefore holds
   it that much longer before its unlock, so a program (or a library in it)
   that frees the mutex once the awaited state is seen, without taking the
   lock, has the unlock write into freed memory nearly every time instead of
   once in thousands of frames on a busy machine. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <time.h>

int pthread_cond_broadcast(pthread_cond_t* cond) {
  static int (*broadcast)(pthread_cond_t*);
  if (!broadcast) broadcast = (int (*)(pthread_cond_t*))dlvsym(RTLD_NEXT, "pthread_cond_broadcast", "GLIBC_2.3.2");
  const int result = broadcast(cond);
  const struct timespec pause = {0, 300 * 1000};
  nanosleep(&pause, NULL);
  return result;
}
