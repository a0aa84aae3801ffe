// Holding a shared area's lock for one scope.
//
// Every change of a shared area happens under the area's lock (LockArea / UnlockArea in
// runtime/shared_area.h). AreaLock takes it and gives it back when it goes out of scope, on
// every path, so no early return can leave an area locked. A lock that could not be taken is
// not held, and the scope must not write the area.
#ifndef PARVEX_RUNTIME_AREA_LOCK_H_
#define PARVEX_RUNTIME_AREA_LOCK_H_

namespace kestrum {

/// The lock of one area, held from construction until Unlock or destruction. Movable, so that a
/// lock can be taken in one place and held by an object until a later call releases it.
class AreaLock {
 public:
  /// Holds nothing.
  AreaLock() = default;

  /// Locks `area` (an address from OpenSharedArea), waiting without time limit; locks nest.
  /// held() tells whether it worked; when not, the error number is as LockArea leaves it
  /// (0 for an unknown, refused or cut-short area or a missing mutex).
  explicit AreaLock(void* area);

  /// Releases the lock when it is held. The caller's error number and platform error are kept,
  /// so a scope that failed for another reason still reports its own error.
  ~AreaLock();

  AreaLock(AreaLock&& other) noexcept;
  AreaLock& operator=(AreaLock&& other) noexcept;
  AreaLock(const AreaLock&) = delete;
  AreaLock& operator=(const AreaLock&) = delete;

  /// Returns true while the lock is held.
  bool held() const { return area_ != nullptr; }

  /// Releases the lock now. Returns 0 (also when nothing was held), or -1 with the error number
  /// as UnlockArea leaves it (the lock is given up all the same).
  int Unlock();

 private:
  void* area_ = nullptr;
};

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_AREA_LOCK_H_
