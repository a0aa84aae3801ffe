#include "platform/instance_paths.h"

#include <mutex>
#include <string>

namespace kestrum {
namespace {

// The prefix that tests put in front of object names; empty in every production process.
struct NamePrefix {
  std::mutex mutex;
  std::string text;
};

NamePrefix& ThePrefix() {
  static NamePrefix* prefix = new NamePrefix;  // never destroyed: names outlive static destructors
  return *prefix;
}

}  // namespace

void SetObjectNamePrefixForTests(std::string_view prefix) {
  NamePrefix& p = ThePrefix();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.text = prefix;
}

std::string WithObjectNamePrefix(std::string_view windows_name) {
  NamePrefix& p = ThePrefix();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (p.text.empty()) return std::string(windows_name);
  const std::string_view::size_type own = windows_name.find_last_of('\\') + 1;  // npos + 1 == 0
  std::string name(windows_name.substr(0, own));
  name += p.text;
  name += windows_name.substr(own);
  return name;
}

}  // namespace kestrum
