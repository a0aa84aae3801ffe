#include "config/counter_block.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/serial_port.h"
#include "records/device_record.h"
#include "records/fixed_text.h"

namespace kestrum {

int32_t ValidateCounterBlock(const char* found, void* block, char* ebuf, int32_t size) {
  CommSettings comm;
  std::memcpy(&comm, block, sizeof comm);
  const std::string list = found != nullptr ? found : "";
  auto given = [&](const char* name) {
    return list.find("," + std::string(name) + ",") != std::string::npos;
  };
  auto fail = [&](const std::string& message) {
    std::snprintf(ebuf, static_cast<size_t>(size), "%s", message.c_str());
    return -1;
  };
  if (given("BaudRate") && comm.BaudRate <= 0) return fail("<BaudRate> must be above 0");
  if (given("DataBits") &&
      (comm.DataBits < kCounterDataBitsMin || comm.DataBits > kCounterDataBitsMax)) {
    return fail("<DataBits> must be " + std::to_string(kCounterDataBitsMin) + " to " +
                std::to_string(kCounterDataBitsMax));
  }
  // Without a PortName the scanner opens the default port with default settings; with one, the
  // settings it opens the port with must be given and be ones the line supports (a missing one
  // reads as 0, which fails the open).
  const std::string_view port = FixedText(comm.PortName);
  if (port.empty()) return 0;
  if (port.find('/') != std::string_view::npos)
    return fail("<PortName> must be a name, not a path");
  if (!given("BaudRate")) return fail("<BaudRate> is required with a <PortName>");
  if (!given("DataBits")) return fail("<DataBits> is required with a <PortName>");
  SerialSettings settings;
  settings.baud_rate = comm.BaudRate;
  settings.parity = static_cast<int>(comm.Parity & 0xFF);
  settings.data_bits = comm.DataBits & 0xFF;
  if (CheckSerialSettings(settings) != 0) {
    return fail("<BaudRate> " + std::to_string(comm.BaudRate) +
                " is not a rate of the serial line");
  }
  return 0;
}

}  // namespace kestrum
