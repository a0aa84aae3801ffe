#include "configui/html_module_help.h"

#include <algorithm>

#include "platform/html_help.h"
#include "platform/own_module.h"

namespace parvex {

std::string HelpFilePath(std::string_view module_path) {
  std::string path(
      module_path.substr(0, module_path.size() - std::min<size_t>(3, module_path.size())));
  return path + "chm";
}

const std::string& ModuleHelpPath() {
  // The only state besides the print-out's page position and the host's default port.
  static const std::string help_path = [] {
    std::string module_path;
    if (kestrum::ModulePathOf(reinterpret_cast<const void*>(&ModuleHelpPath), &module_path) != 0) {
      return std::string();
    }
    return HelpFilePath(module_path);
  }();
  return help_path;
}

void ShowHelpTopic(ParvexParentWindow owner, const std::string& topic) {
  // A missing viewer is not the dialog's failure: the help simply does not appear.
  kestrum::ShowHtmlHelpTopic(owner, topic);
}

}  // namespace parvex
