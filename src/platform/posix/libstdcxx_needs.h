// What libstdc++ on glibc takes from the C library's own extensions, declared for a build of the
// room that hides them (QUILLET_POSIX_ONLY): its <mutex>, <thread> and <atomic> call these.
#pragma once

#include <pthread.h>
#include <time.h>

#if defined(__GLIBC__) && !defined(__USE_GNU)
extern "C" {
int pthread_cond_clockwait(pthread_cond_t* cond, pthread_mutex_t* mutex, clockid_t clock,
                           const struct timespec* until);
int pthread_mutex_clocklock(pthread_mutex_t* mutex, clockid_t clock,
                            const struct timespec* until) noexcept;
int pthread_rwlock_clockrdlock(pthread_rwlock_t* lock, clockid_t clock,
                               const struct timespec* until) noexcept;
int pthread_rwlock_clockwrlock(pthread_rwlock_t* lock, clockid_t clock,
                               const struct timespec* until) noexcept;
long syscall(long number, ...) noexcept;  // NOLINT(google-runtime-int): the C library's type
}
#endif
