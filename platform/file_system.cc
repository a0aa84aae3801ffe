// What both platforms share of the file system by name: the working folder with a fallback.
#include <string>

#include "platform/file_system.h"

namespace kestrum {

std::string CurrentDirectory() {
  std::string path;
  return GetCurrentDirectory(&path) == 0 ? path : ".";
}

}  // namespace kestrum
