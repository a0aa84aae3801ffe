// The Windows half of the instance's object names: the system's own namespaces.
#include <string>

#include "platform/instance_paths.h"

namespace kestrum {

std::string ObjectPath(std::string_view folder, std::string_view windows_name) {
  std::string name = folder == "mailslot" ? "\\\\.\\mailslot\\" : "";
  name += WithObjectNamePrefix(windows_name);
  return name;
}

}  // namespace kestrum
