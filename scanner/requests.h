// The request words of the scanner: what the driver manager asked for and the main loop has not
// served yet. The driver-manager link's reader thread sets them through HandleDriverRequest;
// the main thread examines and clears them with the link's gate closed.
#ifndef PARVEX_SCANNER_REQUESTS_H_
#define PARVEX_SCANNER_REQUESTS_H_

#include <atomic>
#include <cstdint>

namespace parvex {

/// The words the request handler changes. Every loop of the scanner re-checks `running`.
struct RequestWords {
  std::atomic<int> running{1};            ///< cleared by the stop request
  std::atomic<int> pending_scans{0};      ///< one per scan request not yet started
  std::atomic<int> reconfigure{0};        ///< set by the reconfigure request
  std::atomic<int> initialise_values{0};  ///< set by the initialise-values request
  std::atomic<int> reset_counters{0};     ///< set by the reset-counters request

  /// Back to the state at process start (running, nothing pending). For tests.
  void Reset() {
    running = 1;
    pending_scans = 0;
    reconfigure = 0;
    initialise_values = 0;
    reset_counters = 0;
  }
  bool is_running() const { return running.load(std::memory_order_relaxed) != 0; }
};

/// Applies one message code to `words`: 31 stop, 300 one more scan, 302 reconfigure, 303 reset
/// counters, 304 initialise values; every other code is ignored.
void ApplyDriverRequest(RequestWords* words, int32_t code);

/// The process's request words.
RequestWords& ProcessRequests();

/// The handler registered with the driver-manager link: ApplyDriverRequest on
/// ProcessRequests(). Runs on the link's reader thread.
void HandleDriverRequest(int32_t code);

}  // namespace parvex

#endif  // PARVEX_SCANNER_REQUESTS_H_
