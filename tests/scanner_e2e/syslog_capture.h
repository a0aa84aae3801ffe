// Captures the system-log lines of the processes a test starts: while it lives, children start
// with the capture library preloaded, and their syslog lines go to a file of the test's own.
#ifndef PARVEX_TESTS_SCANNER_E2E_SYSLOG_CAPTURE_H_
#define PARVEX_TESTS_SCANNER_E2E_SYSLOG_CAPTURE_H_

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "test_util.h"

namespace parvex_test {

class ScopedSyslogCapture {
 public:
  ScopedSyslogCapture() : path_(dir_.str() + "/syslog") {
    setenv("LD_PRELOAD", SYSLOG_CAPTURE_LIBRARY, 1);
    setenv("PARVEX_TEST_SYSLOG", path_.c_str(), 1);
    // A sanitized build's runtime would refuse to come after the preloaded library.
    setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 0);
  }
  ~ScopedSyslogCapture() { Release(); }
  ScopedSyslogCapture(const ScopedSyslogCapture&) = delete;
  ScopedSyslogCapture& operator=(const ScopedSyslogCapture&) = delete;

  /// Stops preloading into processes started from now on; the file stays readable.
  void Release() {
    unsetenv("LD_PRELOAD");
    unsetenv("PARVEX_TEST_SYSLOG");
  }

  /// Every line captured so far.
  std::string Text() const {
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  ScopedTempDir dir_;
  std::string path_;
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_SCANNER_E2E_SYSLOG_CAPTURE_H_
