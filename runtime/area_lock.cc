#include "runtime/area_lock.h"

#include <utility>

#include "platform/error_number.h"
#include "runtime/shared_area.h"

namespace kestrum {

AreaLock::AreaLock(void* area) : area_(LockArea(area) == 0 ? area : nullptr) {}

AreaLock::~AreaLock() {
  if (area_ == nullptr) return;
  KeepErrorNumber keep;
  UnlockArea(area_);
}

AreaLock::AreaLock(AreaLock&& other) noexcept : area_(std::exchange(other.area_, nullptr)) {}

AreaLock& AreaLock::operator=(AreaLock&& other) noexcept {
  if (this != &other) {
    AreaLock old(std::move(*this));  // releases what this held
    area_ = std::exchange(other.area_, nullptr);
  }
  return *this;
}

int AreaLock::Unlock() {
  if (area_ == nullptr) return 0;
  return UnlockArea(std::exchange(area_, nullptr));
}

}  // namespace kestrum
