#include "configui/comm_settings_map.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/error_number.h"
#include "records/device_record.h"
#include "records/fixed_text.h"
#include "records/text_case.h"

namespace parvex {

int BaudRatePosition(int32_t baud_rate) {
  switch (baud_rate) {
    case 300:
      return 0;
    case 1200:
      return 1;
    case 9600:
      return 2;
    case 19200:
      return 3;
    default:
      return 4;
  }
}

int32_t BaudRateAt(int position) {
  switch (position) {
    case 0:
      return 300;
    case 1:
      return 1200;
    case 2:
      return 9600;
    case 3:
      return 19200;
    default:
      return 38400;
  }
}

int ParityPosition(uint32_t parity) {
  switch (parity) {
    case 0:
      return 0;
    case 1:
      return 1;
    case 2:
      return 2;
    case 3:
      return 4;
    default:
      return 3;
  }
}

uint32_t ParityAt(int position) {
  // The list shows Mark and Space in the other order than their codes, so the mapping swaps 3
  // and 4 and is its own inverse; anything out of range falls back to the same default.
  return static_cast<uint32_t>(ParityPosition(static_cast<uint32_t>(position)));
}

int DataBitsPosition(int32_t data_bits) {
  switch (data_bits) {
    case 5:
      return 0;
    case 6:
      return 1;
    case 7:
      return 2;
    default:
      return 3;
  }
}

int32_t DataBitsAt(int position) {
  switch (position) {
    case 0:
      return 5;
    case 1:
      return 6;
    case 2:
      return 7;
    default:
      return 8;
  }
}

std::string PortNameOf(const PortSettings& settings) {
  return std::string(kestrum::FixedText(settings.port_name));
}

void SetPortName(PortSettings& settings, std::string_view name) {
  std::memset(settings.port_name, 0, sizeof settings.port_name);
  std::memcpy(settings.port_name, name.data(),
              std::min(name.size(), sizeof settings.port_name - 1));
}

int ApplyPortDefaults(PortSettings& settings, uint16_t default_port) {
  if (settings.port_name[0] != '\0') return 0;
  char name[kestrum::kPortNameSize] = {};
  if (!kestrum::DefaultPortName(default_port, name)) return kestrum::FailWith(ENAMETOOLONG);
  std::memcpy(settings.port_name, name, sizeof settings.port_name);
  settings.baud_rate = kestrum::kDefaultBaudRate;
  settings.parity = kestrum::kParityNone;
  settings.data_bits = kestrum::kDefaultDataBits;
  return 0;
}

void TakeChosenPortName(PortSettings& settings, const std::optional<std::string>& chosen) {
  if (!chosen || *chosen == PortNameOf(settings)) return;
  size_t length = std::min(chosen->size(), sizeof settings.port_name - 1);
  std::memcpy(settings.port_name, chosen->data(), length);
  settings.port_name[length] = '\0';
}

int32_t StorePortSettings(const PortSettings& work, uint8_t* stored) {
  if (std::memcmp(&work, stored, sizeof work) == 0) return 0;
  std::memcpy(stored, &work, sizeof work);
  return 1;
}

std::vector<std::string> PortListItems(const std::optional<std::vector<SerialPortValue>>& values,
                                       std::string_view current) {
  std::string wanted(current);
  if (!values) return {wanted};
  std::vector<std::string> items;
  bool matched = false;
  for (const SerialPortValue& value : *values) {
    if (!value.text || value.text->size() > 6) continue;
    items.push_back(*value.text);
    if (kestrum::CompareIgnoringCase(value.text->c_str(), wanted.c_str()) == 0) matched = true;
  }
  if (!matched) items.push_back(wanted);
  return items;
}

}  // namespace parvex
