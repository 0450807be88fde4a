/* Preloaded into the command by its tests: the Nth thread the process starts (N from
 * SORVAN_TEST_FAIL_THREAD, counting from 1) fails with EAGAIN, as when a process or memory
 * limit is reached part-way through starting worker threads. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdlib.h>

typedef int (*CreateFunction)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  static int calls = 0;
  const char* failAt = getenv("SORVAN_TEST_FAIL_THREAD");
  if (failAt != NULL && __atomic_add_fetch(&calls, 1, __ATOMIC_SEQ_CST) == atoi(failAt)) return EAGAIN;
  CreateFunction real = (CreateFunction)dlsym(RTLD_NEXT, "pthread_create");
  return real(thread, attr, start, arg);
}
