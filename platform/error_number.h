// The per-thread error number and the platform's last error.
//
// Every operation of the system returns 0 (or a pointer) on success and -1 (or null) on failure
// and leaves the reason in the calling thread's error number: the platform's last error after a
// failed system call (an errno value on Linux), 0 when a named object does not exist yet or a
// record check fails, or one of the system's own small codes (22, 67, 305, 1465, ...).
//
// The platform's last error is kept apart from the error number, as on the system's original
// platform: the error number is what callers see, the last error is what the most recent failed
// platform call (or the XML layer, with 1465) left behind. Both are thread-local.
#ifndef PARVEX_PLATFORM_ERROR_NUMBER_H_
#define PARVEX_PLATFORM_ERROR_NUMBER_H_

namespace kestrum {

/// The XML parse-error code that the configuration loaders leave as the last error.
inline constexpr int kXmlParseError = 1465;

/// Returns the calling thread's error number.
int GetErrorNumber();

/// Sets the calling thread's error number.
void SetErrorNumber(int number);

/// Returns the calling thread's platform last error (errno of the last failed platform call).
int GetLastPlatformError();

/// Sets the calling thread's platform last error.
void SetLastPlatformError(int error);

/// Records a failed system call: copies errno into both the last error and the error number.
/// Always returns -1 so that callers can write `return FailFromErrno();`.
int FailFromErrno();

#ifdef _WIN32
/// Records a failed Windows call: copies GetLastError() into both the last error and the error
/// number. Always returns -1.
int FailFromLastError();
#endif

/// Sets both the last error and the error number to `error` and returns -1.
int FailWith(int error);

/// Keeps the calling thread's error number and platform last error for one scope: whatever the
/// calls inside the scope leave behind, both are as they were when the scope is left. For work
/// whose failures are not the caller's business (reporting, notifying, probing).
class KeepErrorNumber {
 public:
  KeepErrorNumber() : error_(GetErrorNumber()), last_(GetLastPlatformError()) {}
  ~KeepErrorNumber() {
    SetErrorNumber(error_);
    SetLastPlatformError(last_);
  }
  KeepErrorNumber(const KeepErrorNumber&) = delete;
  KeepErrorNumber& operator=(const KeepErrorNumber&) = delete;

 private:
  int error_;
  int last_;
};

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_ERROR_NUMBER_H_
