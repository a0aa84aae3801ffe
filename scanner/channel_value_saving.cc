// Re-basing and saving reference values, saving output values, and what a save that the
// saved-values folder refuses (full, read-only, gone) leads to.
//
// A refused save never leaves the scanner working with values other than those in the files:
// re-based references are put back, so the request changes nothing and says why; changed output
// values stay marked changed, so the next save period tries again. Each failure is reported as
// the device's error message and, because a good report clears that message within a second,
// also to the system log, once per failing spell.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/error_number.h"
#include "platform/event_log.h"
#include "runtime/saved_values.h"
#include "scanner/scanner.h"

namespace parvex {

void Scanner::ReportSaveFailure(int k, const char* format) {
  kestrum::KeepErrorNumber keep;
  const int error = kestrum::GetErrorNumber();
  ReportFailure(hooks_, format, ShownErrorCode(error), false);
  char text[256];
  std::snprintf(text, sizeof text, "%.*s: saving the \"%s\" values of %s failed: %s (%d)",
                static_cast<int>(strnlen(device_->device_name, sizeof device_->device_name)),
                device_->device_name, kestrum::kChannelKindNames[k], folder_, std::strerror(error),
                error);
  hooks_.ReportEvent(kestrum::kEventTypeError, text);
}

int Scanner::RebaseReferenceValues(int k) {
  KindChannels& kind = kinds_[k];
  if (!kind.laid_out || kind.reference == nullptr) return 0;
  const std::vector<float> before(kind.reference, kind.reference + kind.count);
  bool changed = false;
  for (uint32_t i = 0; i < kind.count; ++i) {
    const uint32_t w = kind.working_status[i];
    const bool keep = !(w & kestrum::kStatusNoValue) && (w & kestrum::kStatusValueChannel) &&
                      (kind.records[i].analogue.flags & kestrum::analogue_flags::kReferenceEnable);
    const float r = kind.reference[i];
    const float rebased = keep ? r + kind.working_values[i] : 0.0f;
    // A not-a-number on either side counts as a change.
    if (rebased != r || std::isnan(rebased) || std::isnan(r)) {
      kind.reference[i] = rebased;
      changed = true;
    }
  }
  if (changed && kestrum::SaveChannelValues(folder_, kestrum::kChannelKindNames[k],
                                            reinterpret_cast<const uint32_t*>(kind.reference),
                                            kind.records, kind.count) == -1) {
    // The files keep the old references: so does the scanner, or a restart would bring back
    // values the operator saw re-based.
    std::copy(before.begin(), before.end(), kind.reference);
    ReportSaveFailure(k, kInitialiseValuesFailed);
  }
  return 0;
}

void Scanner::SaveOutputValues() {
  for (int k : {kestrum::kKindAnalogOutput, kestrum::kKindDigitalOutput}) {
    KindChannels& kind = kinds_[k];
    if (device_->prefixes[k][0] == '\0' || !kind.laid_out || output_changed_[k] == 0) continue;
    const uint32_t* own = k == kestrum::kKindAnalogOutput
                              ? reinterpret_cast<const uint32_t*>(kind.published_values)
                              : kind.published_status;
    if (own == nullptr) continue;
    if (kestrum::SaveChannelValues(folder_, kestrum::kChannelKindNames[k], own, kind.records,
                                   kind.count) == -1) {
      // Still changed: the next save period tries again.
      if (!save_failing_[k]) ReportSaveFailure(k, kSaveValuesFailed);
      save_failing_[k] = true;
      continue;
    }
    output_changed_[k] = 0;
    save_failing_[k] = false;
  }
}

}  // namespace parvex
