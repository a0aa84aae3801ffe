// An area whose bytes come from the input, published in a temporary instance under a name the
// first byte picks (one of the system areas or a channel table), then opened, locked (nested),
// marked, notified and looked up in. The second byte chooses between the input as the whole
// file and the input laid over a well-formed area with a working mutex, so that the checks past
// the header's own are reached too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "platform/named_mutex.h"
#include "platform/shared_file.h"
#include "records/channel_table.h"
#include "runtime/channel_prefixes.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "tools/dm/area_builder.h"

namespace {

constexpr const char* kNames[] = {"dm_device", "dm_errors", "dm_loggers", "dm_datproc", "dm_AA"};
constexpr const char* kMutexBase = "FUZZ";

void Setup() {
  std::filesystem::create_directories(parvex_fuzz::Instance().rundir() / "shm/Global/Global");
  parvex_fuzz::Check(kestrum::CreateNamedMutex(kestrum::AreaMutexPath(kMutexBase)) == 0,
                     "area mutex");
}

// The file's bytes: the input alone, or laid over an area of `data_size` bytes.
std::vector<std::byte> Contents(bool overlay, std::span<const uint8_t> input) {
  std::vector<std::byte> bytes;
  if (overlay && input.size() >= 3) {
    std::vector<std::byte> data(input[0] * 8u);
    kestrum::dm::AreaShape shape;
    shape.platform_id = 1 + input[1] % 2;
    shape.long_subscribers = input[1] / 2 % 4;
    shape.long_messages = input[2] % 4;
    bytes = kestrum::dm::LayOutArea(kMutexBase, data, shape);
    input = input.subspan(3);
  }
  if (bytes.size() < input.size()) bytes.resize(input.size());
  if (!input.empty()) std::memcpy(bytes.data(), input.data(), input.size());
  return bytes;
}

void Exercise(void* area) {
  kestrum::AreaHeader header;
  (void)kestrum::ReadAreaHeader(area, &header);
  if (kestrum::LockArea(area) == 0) {
    parvex_fuzz::Check(kestrum::LockArea(area) == 0, "a held lock nests");
    parvex_fuzz::Check(kestrum::UnlockArea(area) == 0, "inner unlock");
    parvex_fuzz::Check(kestrum::UnlockArea(area) == 0, "outer unlock");
  }
  (void)kestrum::MarkAreaUpdating(area);
  for (int subscriber : {0, 1, 10, 11}) (void)kestrum::NotifyArea(area, subscriber);
  for (int platform : {1, 2}) (void)kestrum::NotifyAreaForPlatform(area, 0, platform);
}

void LookUp() {
  kestrum::SystemArea system;
  if (kestrum::OpenDeviceArea(&system) == 0) {
    for (uint32_t i = 0; i <= system.count && i < 64; ++i) {
      (void)kestrum::DeviceExtraPrefix(system, i);
    }
  }
  (void)kestrum::OpenErrorArea(&system);
  (void)kestrum::OpenLoggerArea(&system);
  (void)kestrum::OpenDataProcessorArea(&system);
  (void)kestrum::FindDeviceRecord("PARVE", 1);
  (void)kestrum::FindDataProcessor("ALARM");
  (void)kestrum::FindLoggerIndex("LOGGER1");
  kestrum::ChannelTableView view;
  (void)kestrum::GetChannelTableView("AA", &view);
  (void)kestrum::GetPrefixWriteMode("AA");
  (void)kestrum::GetPrefixOwner("AA");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool ready = (Setup(), true);
  (void)ready;
  if (size < 2) return 0;
  const char* name = kNames[data[0] % std::size(kNames)];
  const std::string path = kestrum::SharedAreaPath(name);
  std::vector<std::byte> bytes = Contents(data[1] % 2 == 1, std::span(data + 2, size - 2));
  parvex_fuzz::Check(kestrum::PublishSharedFile(path, bytes) == 0, "publish the area");

  kestrum::ForgetSharedAreas();
  void* area = kestrum::OpenSharedArea(name);
  if (area) Exercise(area);
  LookUp();

  // Unmap what this input mapped, so that a long run does not pile up mappings.
  const uint64_t mapped = area ? kestrum::SharedAreaMappedSize(area) : 0;
  kestrum::ForgetSharedAreas();
  if (area) kestrum::UnmapSharedFile(area, mapped);
  std::filesystem::remove(path);
  return 0;
}
