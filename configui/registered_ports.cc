// The Port list's source: the serial port key of the local machine's registry.
#include <cstring>
#include <string>

#include "configui/registered_ports.h"
#include "platform/registry.h"

namespace parvex {
namespace {

constexpr const char* kSerialPortKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr uint32_t kValueDataSize = 64;

// Every value of `key` until the enumeration fails (its end, or data longer than 64 bytes).
std::vector<SerialPortValue> EnumerateValues(kestrum::RegKey key) {
  std::vector<SerialPortValue> values;
  for (uint32_t index = 0;; ++index) {
    std::string name;
    uint32_t type = 0;
    char data[kValueDataSize] = {};
    uint32_t size = sizeof data;
    if (kestrum::RegEnumValue(key, index, &name, &type, data, &size) != 0) break;
    SerialPortValue value{name, std::nullopt};
    if (type == kestrum::kRegSz) value.text = std::string(data, strnlen(data, size));
    values.push_back(std::move(value));
  }
  return values;
}

}  // namespace

std::optional<std::vector<SerialPortValue>> RegisteredSerialPorts() {
  kestrum::RegKey root = nullptr;
  if (kestrum::RegConnectRegistry("", kestrum::RegHive::kLocalMachine, &root) != 0) {
    return std::nullopt;
  }
  std::vector<SerialPortValue> values;
  kestrum::RegKey key = nullptr;
  if (kestrum::RegCreateKey(root, kSerialPortKey, kestrum::kRegOptionNonVolatile,
                            kestrum::kKeyQueryValue, nullptr, &key, nullptr) == 0) {
    values = EnumerateValues(key);
    kestrum::RegCloseKey(key);
  }
  kestrum::RegCloseKey(root);
  return values;
}

}  // namespace parvex
