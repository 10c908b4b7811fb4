#pragma once
// A reader-writer lock that lets a waiting writer in first: once a writer
// waits, new readers wait behind it. Threads that keep reading can then never
// hold off attaching, detaching or refreshing. Not recursive: a thread that
// holds it shared must not take it shared again (it would wait behind a
// waiting writer that waits for it), and a thread that holds it exclusive may
// not take it at all.
//
// Every call checks what the system answers. A lock that cannot be taken
// (such as a nested one under the exclusive lock, which the system refuses)
// raises std::system_error, so the caller never goes on as if it held it; a
// release that the system refuses is a fault of the library and ends the
// process with a message.

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace velk {

class WriterFirstLock {
 public:
  WriterFirstLock() { check(initialise(&lock_)); }
  ~WriterFirstLock() { ::pthread_rwlock_destroy(&lock_); }
  WriterFirstLock(const WriterFirstLock&) = delete;
  WriterFirstLock& operator=(const WriterFirstLock&) = delete;

  void lock() { check(::pthread_rwlock_wrlock(&lock_)); }
  bool try_lock() { return checkTry(::pthread_rwlock_trywrlock(&lock_)); }
  void unlock() { checkRelease(::pthread_rwlock_unlock(&lock_)); }
  void lock_shared() { check(::pthread_rwlock_rdlock(&lock_)); }
  bool try_lock_shared() { return checkTry(::pthread_rwlock_tryrdlock(&lock_)); }
  void unlock_shared() { checkRelease(::pthread_rwlock_unlock(&lock_)); }

  // In a child of fork(), from its fork handler: the lock starts free, whoever
  // held it in the parent (the threads that did are not in the child).
  void renewInChild() noexcept {
    const int rc = initialise(&lock_);
    if (rc == 0) return;
    std::fprintf(stderr, "WriterFirstLock: renewal refused: %s\n", std::strerror(rc));
    std::abort();
  }

 private:
  static int initialise(pthread_rwlock_t* lock) {
    pthread_rwlockattr_t attributes;
    const int ready = ::pthread_rwlockattr_init(&attributes);
    if (ready != 0) return ready;
    const int kind = ::pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    const int made = kind == 0 ? ::pthread_rwlock_init(lock, &attributes) : kind;
    ::pthread_rwlockattr_destroy(&attributes);
    return made;
  }
  static void check(int rc) {
    if (rc != 0) throw std::system_error(rc, std::generic_category(), "WriterFirstLock");
  }
  static bool checkTry(int rc) {
    if (rc == EBUSY) return false;
    check(rc);
    return true;
  }
  static void checkRelease(int rc) noexcept {
    if (rc == 0) return;
    std::fprintf(stderr, "WriterFirstLock: release refused: %s\n", std::strerror(rc));
    std::abort();
  }

  pthread_rwlock_t lock_;
};

}  // namespace velk
