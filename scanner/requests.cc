#include "scanner/requests.h"

#include "runtime/driver_link.h"

namespace parvex {

void ApplyDriverRequest(RequestWords* words, int32_t code) {
  switch (code) {
    case kestrum::kMessageStop:
      words->running = 0;
      break;
    case kestrum::kMessageScan:
      words->pending_scans.fetch_add(1);
      break;
    case kestrum::kMessageReconfigure:
      words->reconfigure = 1;
      break;
    case kestrum::kMessageResetCounters:
      words->reset_counters = 1;
      break;
    case kestrum::kMessageInitialiseValues:
      words->initialise_values = 1;
      break;
    default:
      break;
  }
}

RequestWords& ProcessRequests() {
  static RequestWords words;
  return words;
}

void HandleDriverRequest(int32_t code) { ApplyDriverRequest(&ProcessRequests(), code); }

}  // namespace parvex
