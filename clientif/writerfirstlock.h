#pragma once
// A reader-writer lock that lets a waiting writer in first: once a writer
// waits, new readers wait behind it. Threads that keep reading can then never
// hold off attaching, detaching or refreshing. Not recursive: a thread that
// holds it shared must not take it shared again (it would wait behind a
// waiting writer that waits for it).

#include <pthread.h>

namespace velk {

class WriterFirstLock {
 public:
  WriterFirstLock() {
    pthread_rwlockattr_t attributes;
    ::pthread_rwlockattr_init(&attributes);
    ::pthread_rwlockattr_setkind_np(&attributes, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    ::pthread_rwlock_init(&lock_, &attributes);
    ::pthread_rwlockattr_destroy(&attributes);
  }
  ~WriterFirstLock() { ::pthread_rwlock_destroy(&lock_); }
  WriterFirstLock(const WriterFirstLock&) = delete;
  WriterFirstLock& operator=(const WriterFirstLock&) = delete;

  void lock() { ::pthread_rwlock_wrlock(&lock_); }
  bool try_lock() { return ::pthread_rwlock_trywrlock(&lock_) == 0; }
  void unlock() { ::pthread_rwlock_unlock(&lock_); }
  void lock_shared() { ::pthread_rwlock_rdlock(&lock_); }
  bool try_lock_shared() { return ::pthread_rwlock_tryrdlock(&lock_) == 0; }
  void unlock_shared() { ::pthread_rwlock_unlock(&lock_); }

 private:
  pthread_rwlock_t lock_;
};

}  // namespace velk
