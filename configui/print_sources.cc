// The print-out's sources in the real module: the machine's own name, and the configuration
// readers once they are linked in.
#include <unistd.h>

#include <climits>

#include "configui/print_out.h"

namespace parvex {
namespace {

std::string ComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

}  // namespace

const PrintSources& DefaultPrintSources() {
  static const PrintSources sources{nullptr, nullptr, &ComputerName};
  return sources;
}

}  // namespace parvex
