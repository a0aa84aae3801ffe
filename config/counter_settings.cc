#include "config/counter_settings.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/serial_port.h"
#include "records/device_record.h"
#include "records/fixed_text.h"

namespace kestrum {

int32_t ValidateCounterSettings(const char* found, void* block, char* ebuf, int32_t size) {
  const auto* comm = static_cast<const CommSettings*>(block);
  const std::string list = found;
  auto given = [&](const char* name) {
    return list.find("," + std::string(name) + ",") != std::string::npos;
  };
  auto fail = [&](const char* message) {
    std::snprintf(ebuf, static_cast<size_t>(size), "%s", message);
    return -1;
  };
  if (given("BaudRate") && comm->BaudRate <= 0) return fail("<BaudRate> must be above 0");
  if (given("DataBits") && (comm->DataBits < 5 || comm->DataBits > 8)) {
    return fail("<DataBits> must be 5 to 8");
  }
  const std::string_view port = FixedText(comm->PortName);
  if (port.empty()) return 0;
  if (port.find('/') != std::string_view::npos)
    return fail("<PortName> must be a name, not a path");
  if (!given("BaudRate")) return fail("<BaudRate> is required with a <PortName>");
  if (!given("DataBits")) return fail("<DataBits> is required with a <PortName>");
  SerialSettings settings;
  settings.baud_rate = comm->BaudRate;
  settings.parity = static_cast<int>(comm->Parity & 0xFF);
  settings.data_bits = comm->DataBits & 0xFF;
  if (CheckSerialSettings(settings) != 0) {
    char message[96];
    std::snprintf(message, sizeof message, "<BaudRate> %d is not a rate of the serial line",
                  static_cast<int>(comm->BaudRate));
    return fail(message);
  }
  return 0;
}

}  // namespace kestrum
