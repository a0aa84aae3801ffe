#include "platform/serial_port_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/instance_paths.h"

namespace kestrum {
namespace {

constexpr size_t kMaxPortName = 7;

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

void AddAliases(std::vector<SerialPortEntry>* ports) {
  std::string folder = InstanceDir() + "/dev";
  for (const std::string& name : FolderEntries(folder)) {
    if (name.size() > kMaxPortName) continue;
    std::string device = folder + "/" + name;
    struct stat st;
    if (stat(device.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    ports->push_back({device, name});
  }
}

// The UART type from sysfs, for a port this process may not open; -1 when unknown.
int SysfsUartType(const std::string& tty) {
  std::string path = "/sys/class/tty/" + tty + "/type";
  FILE* file = fopen(path.c_str(), "re");
  if (!file) return -1;
  int type = -1;
  if (fscanf(file, "%d", &type) != 1) type = -1;
  fclose(file);
  return type;
}

bool IsRealUart(const std::string& tty) {
  std::string device = "/dev/" + tty;
  int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return SysfsUartType(tty) > PORT_UNKNOWN;
  serial_struct info;
  std::memset(&info, 0, sizeof info);
  bool known = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  close(fd);
  return known;
}

bool HasName(const std::vector<SerialPortEntry>& ports, const std::string& name) {
  return std::any_of(ports.begin(), ports.end(), [&](const SerialPortEntry& port) {
    return strcasecmp(port.name.c_str(), name.c_str()) == 0;
  });
}

void AddUarts(std::vector<SerialPortEntry>* ports) {
  std::vector<int> numbers;
  for (const std::string& name : FolderEntries("/dev")) {
    if (name.size() < 5 || name.compare(0, 4, "ttyS") != 0) continue;
    char* end = nullptr;
    long number = std::strtol(name.c_str() + 4, &end, 10);
    if (*end == '\0' && number >= 0 && number < 255) numbers.push_back(static_cast<int>(number));
  }
  std::sort(numbers.begin(), numbers.end());
  for (int number : numbers) {
    std::string tty = "ttyS" + std::to_string(number);
    std::string name = "COM" + std::to_string(number + 1);
    if (HasName(*ports, name) || !IsRealUart(tty)) continue;
    ports->push_back({"/dev/" + tty, name});
  }
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
  std::vector<SerialPortEntry> ports;
  AddAliases(&ports);
  AddUarts(&ports);
  return ports;
}

}  // namespace kestrum
