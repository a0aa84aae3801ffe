// Helpers for tests of shared areas: processes that listen on a mailslot, and typed access to
// an area's tables.
#ifndef PARVEX_TESTS_RUNTIME_AREA_TEST_UTIL_H_
#define PARVEX_TESTS_RUNTIME_AREA_TEST_UTIL_H_

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "records/area_layout.h"
#include "test_child.h"
#include "test_util.h"

namespace kestrum::area_test {

inline AreaHeader* Header(void* area) { return static_cast<AreaHeader*>(area); }

inline std::byte* At(void* area, uint64_t offset) { return static_cast<std::byte*>(area) + offset; }

// Platform-2 entries of an area, located through its header.
inline ShortSubscriberEntry* ShortSubscriber(void* area, int k) {
  return reinterpret_cast<ShortSubscriberEntry*>(
      At(area, Header(area)->subscriber_table_offset + 6 * (k - 1)));
}
inline LongSubscriberEntry* LongSubscriber(void* area, int k) {
  return reinterpret_cast<LongSubscriberEntry*>(
      At(area, Header(area)->subscriber_table_offset + 60 + 8 * (k - 1)));
}
inline ShortMessageEntry* ShortMessage(void* area, int i) {
  return reinterpret_cast<ShortMessageEntry*>(At(area, Header(area)->message_table_offset + 4 * i));
}
inline LongMessageEntry* LongMessage(void* area, int i) {
  return reinterpret_cast<LongMessageEntry*>(
      At(area, Header(area)->message_table_offset + 128 + 8 * i));
}

// A child process that owns a process mailslot and collects every 4-byte message it receives
// until Received() is called and then `quiet_ms` pass without one, then reports them.
class Listener {
 public:
  explicit Listener(int quiet_ms = 400);
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  bool ok() const { return ok_; }
  uint32_t pid() const { return child_->pid(); }

  // Waits for the child to fall quiet and returns what it received.
  std::vector<int32_t> Received();

 private:
  std::filesystem::path StopFile() const { return files_.path() / "stop"; }

  parvex_test::ScopedTempDir files_;  // the child's "ready", "report" and "stop" files
  std::unique_ptr<parvex_test::TestChild> child_;
  bool ok_ = false;
};

}  // namespace kestrum::area_test

#endif  // PARVEX_TESTS_RUNTIME_AREA_TEST_UTIL_H_
