#include "platform/error_number.h"

#include <cerrno>

namespace kestrum {
namespace {
thread_local int t_error_number = 0;
thread_local int t_last_error = 0;
}  // namespace

int GetErrorNumber() { return t_error_number; }
void SetErrorNumber(int number) { t_error_number = number; }
int GetLastPlatformError() { return t_last_error; }
void SetLastPlatformError(int error) { t_last_error = error; }

int FailFromErrno() { return FailWith(errno); }

int FailWith(int error) {
  t_last_error = error;
  t_error_number = error;
  return -1;
}

}  // namespace kestrum
