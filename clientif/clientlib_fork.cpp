// The libraries of a process around fork(): see the lock order in
// clientlib.h.

#include <pthread.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "clientif/clientlib.h"

namespace velk {

struct ForkHandlers {
  // The libraries of this process. Its lock comes before every lock of a
  // library; nothing else is taken under it but by the fork handlers.
  struct Libraries {
    std::mutex lock;
    std::vector<ClientLibrary*> all;
  };

  static Libraries& libraries() {
    static Libraries libraries;
    return libraries;
  }

  static void registerOnce() {
    static const bool registered = [] {
      // The named objects' handlers run after ours in prepare: the library
      // opens mutexes holding stateLock_.
      ipc::RegisterForkHandlers();
      return ::pthread_atfork(prepare, parent, child) == 0;
    }();
    (void)registered;
  }

  static void prepare() noexcept {
    Libraries& live = libraries();
    live.lock.lock();
    for (ClientLibrary* library : live.all) {
      library->stateLock_.lock();  // none of viewLocks_ is held then: each is taken under it
      library->netListLock_.lock();
      library->reaper_.holdForFork();
    }
  }

  static void parent() noexcept {
    Libraries& live = libraries();
    for (auto library = live.all.rbegin(); library != live.all.rend(); ++library) {
      (*library)->reaper_.releaseAfterFork();
      (*library)->netListLock_.unlock();
      (*library)->stateLock_.unlock();
    }
    live.lock.unlock();
  }

  // The only thread of the child is the one that took the locks in prepare.
  // A plain mutex it frees as in the parent; a reader-writer lock knows its
  // writer by a thread id that the child's thread does not have, and is made
  // anew, as is attachLock_, which another thread may hold.
  static void child() noexcept {
    Libraries& live = libraries();
    for (ClientLibrary* library : live.all) {
      library->reaper_.releaseAfterFork();
      library->netListLock_.unlock();
      library->stateLock_.renewInChild();
      new (&library->attachLock_) std::mutex;
    }
    live.lock.unlock();
  }
};

void ClientLibrary::joinForkHandlers() {
  ForkHandlers::registerOnce();
  ForkHandlers::Libraries& live = ForkHandlers::libraries();
  const std::lock_guard guard(live.lock);
  live.all.push_back(this);
}

void ClientLibrary::leaveForkHandlers() {
  ForkHandlers::Libraries& live = ForkHandlers::libraries();
  const std::lock_guard guard(live.lock);
  std::erase(live.all, this);
}

}  // namespace velk
