#include "runtime/process_names.h"

#include <string>

#include "platform/error_number.h"
#include "platform/user_info.h"
#include "records/alarm_record.h"

namespace kestrum {
namespace {

// Reads a name once; the error number of the caller is left as it was.
std::string ReadName(int (*read)(std::string*), size_t limit) {
  KeepErrorNumber keep;
  std::string name;
  if (read(&name) != 0) name.clear();
  return name.substr(0, limit);
}

}  // namespace

const char* ProcessComputerName() {
  static const std::string name = ReadName(GetComputerName, kAlarmComputerNameLength);
  return name.c_str();
}

const char* ProcessUserName() {
  static const std::string name = ReadName(GetUserName, kAlarmUserNameLength);
  return name.c_str();
}

}  // namespace kestrum
