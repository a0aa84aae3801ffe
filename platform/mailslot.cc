// The mailslot name rule both platforms share: a name given with or without the system's root
// "\\.\mailslot\" names the same slot.
#include <cctype>
#include <string>
#include <string_view>

#include "platform/instance_paths.h"
#include "platform/mailslot.h"

namespace kestrum {
namespace {

constexpr std::string_view kRoot = "\\\\.\\mailslot\\";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string MailslotPath(std::string_view name) {
  if (StartsWithIgnoringCase(name, kRoot)) name.remove_prefix(kRoot.size());
  return ObjectPath("mailslot", name);
}

}  // namespace kestrum
