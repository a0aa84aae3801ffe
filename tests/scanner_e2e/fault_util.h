// Small checks shared by the fault tests of the real scanner.
#ifndef PARVEX_TESTS_SCANNER_E2E_FAULT_UTIL_H_
#define PARVEX_TESTS_SCANNER_E2E_FAULT_UTIL_H_

#include <functional>
#include <string>

#include "records/channel_table.h"
#include "runtime/area_lock.h"
#include "runtime/shared_area.h"
#include "scanner_rig.h"

namespace parvex_test {

inline bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

/// True when channel `i` of the rig's table holds a value.
inline bool ChannelValid(ScannerRig& rig, int i) {
  const kestrum::ChannelTableView t = rig.table();
  return t.status != nullptr && !(t.status[i] & kestrum::kStatusNoValue);
}

/// True when every channel of the rig's table is marked failed with `error`.
inline bool AllChannelsFailed(ScannerRig& rig, int error) {
  const kestrum::ChannelTableView t = rig.table();
  if (t.status == nullptr || t.header->error_code != static_cast<uint16_t>(error)) return false;
  for (uint32_t i = 0; i < t.count; ++i) {
    if (!(t.status[i] & kestrum::kStatusNoValue)) return false;
  }
  return true;
}

/// Overwrites the published value of channel `i` with a marker and waits until a scan has
/// published the scanner's own value over it again: proof that scans are still served.
/// `request` (may be empty) is called at once and every 200 ms while waiting, to send scan
/// requests.
inline bool ScanReplacesMarker(ScannerRig& rig, int i, const std::function<void()>& request,
                               int timeout_ms = 10000) {
  constexpr float kMarker = -12345.0f;
  {
    kestrum::AreaLock lock(rig.table_area());
    if (!lock.held()) return false;
    rig.table().values[i] = kMarker;
  }
  int polls = 0;
  return ScannerRig::WaitFor(
      [&] {
        if (request && polls++ % 40 == 0) request();
        return rig.table().values[i] != kMarker;
      },
      timeout_ms);
}

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_E2E_FAULT_UTIL_H_
