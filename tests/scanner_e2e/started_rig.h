// The start every end-to-end test of a running scanner shares.
#ifndef PARVEX_TESTS_SCANNER_E2E_STARTED_RIG_H_
#define PARVEX_TESTS_SCANNER_E2E_STARTED_RIG_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scanner_rig.h"

namespace parvex_test {

/// Starts, on a rig that was built, the simulator with `counter_args`, the scanner and the
/// scan pump. Returns success, or a failure that names the step that failed.
inline ::testing::AssertionResult StartRig(ScannerRig& rig,
                                           const std::vector<std::string>& counter_args) {
  if (!rig.error().empty()) return ::testing::AssertionFailure() << "rig: " << rig.error();
  if (!rig.StartCounter(counter_args)) {
    return ::testing::AssertionFailure() << "the simulator did not start";
  }
  if (!rig.StartScanner()) return ::testing::AssertionFailure() << "scanner: " << rig.error();
  rig.StartPump();
  return ::testing::AssertionSuccess();
}

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_E2E_STARTED_RIG_H_
