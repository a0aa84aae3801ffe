// The Windows half of the port list: the ports the serial drivers of this machine announce
// under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (value data: the port name).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/serial_port_list.h"

namespace kestrum {
namespace {

constexpr char kSerialCommKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::size_t kMaxPortName = 7;

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};

// "COMn" sorts by n, before every other name; other names sort as text.
bool PortOrder(const SerialPortEntry& a, const SerialPortEntry& b) {
  auto number = [](const std::string& name) {
    bool com = name.size() > 3 && _strnicmp(name.c_str(), "COM", 3) == 0;
    return com ? std::atoi(name.c_str() + 3) : 0;
  };
  int na = number(a.name), nb = number(b.name);
  if ((na > 0) != (nb > 0)) return na > 0;
  if (na != nb) return na < nb;
  return a.name < b.name;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
  std::vector<SerialPortEntry> ports;
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_QUERY_VALUE, &opened) !=
      ERROR_SUCCESS) {
    return ports;  // no serial driver has announced a port
  }
  std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser> key(opened);
  for (DWORD index = 0;; ++index) {
    char value_name[256];
    DWORD name_size = sizeof value_name;
    char data[64] = {};
    DWORD data_size = sizeof data - 1;
    DWORD type = 0;
    LONG rc = RegEnumValueA(key.get(), index, value_name, &name_size, nullptr, &type,
                            reinterpret_cast<BYTE*>(data), &data_size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;  // a name too long for a port, too
    std::string name(data, strnlen(data, data_size));
    if (name.empty() || name.size() > kMaxPortName) continue;
    ports.push_back({"\\\\.\\" + name, name});
  }
  std::sort(ports.begin(), ports.end(), PortOrder);
  return ports;
}

}  // namespace kestrum
