#include "scanner/device_handlers.h"

namespace parvex {

int DeviceHandlers::Initialise(int /*kind*/, const kestrum::DeviceConfigBlock* /*config*/,
                               uint16_t /*count*/,
                               const kestrum::ChannelConfigRecord* /*records*/) {
  return 0;
}

int DeviceHandlers::Scan(int /*kind*/, const kestrum::DeviceConfigBlock* /*config*/,
                         uint16_t /*count*/, const kestrum::ChannelConfigRecord* /*records*/,
                         uint32_t* /*status*/, float* /*readings*/) {
  return 0;
}

int DeviceHandlers::OpenPort(kestrum::DeviceRecord* /*device*/) { return 0; }

void DeviceHandlers::ClosePort() {}

int DeviceHandlers::ResetCounters(const kestrum::DeviceConfigBlock* /*config*/, uint16_t /*count*/,
                                  const kestrum::ChannelConfigRecord* /*records*/) {
  return 0;
}

}  // namespace parvex
