#include "runtime/status_channel_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "records/fixed_text.h"

namespace kestrum {

const StatusChannelText kStatusChannelTexts[kStatusChannelsPerGroup] = {
    {"ST", "STATUS", "ENABLED", "DISABLED"},    {"RS", "RESET COUNTS", "RESET", "NORESET"},
    {"RB", "RECEIVE BYTES", "BYTES", ""},       {"RP", "RECEIVE PACKETS", "PACKETS", ""},
    {"RT", "RECEIVE TIMEOUTS", "TIMEOUTS", ""}, {"RE", "RECEIVE COMM ERRORS", "ERRORS", ""},
    {"RC", "RECEIVE CRC ERRORS", "ERRORS", ""}, {"TB", "TRANSMIT BYTES", "BYTES", ""},
    {"TP", "TRANSMIT PACKETS", "PACKETS", ""},  {"TE", "TRANSMIT ERRORS", "ERRORS", ""},
};

namespace {

// The driver name as the names use it: at most 12 characters, upper case.
std::string UpperDriverName(std::string_view driver) {
  std::string name(driver.substr(0, 12));
  if (size_t nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// A state text of the state or reset channel: the table's text, then " <port>" when a port
// text is given for the state channel.
std::string StateText(const char* text, std::string_view port_text) {
  std::string out = text;
  if (!port_text.empty()) {
    out += ' ';
    out += port_text;
  }
  return out;
}

}  // namespace

std::string StatusChannelName(std::string_view driver, uint32_t device, uint32_t group,
                              std::string_view suffix) {
  const std::string name = UpperDriverName(driver);
  const std::string tail(suffix);
  char out[96];
  if (device != 0 && group != 0) {
    std::snprintf(out, sizeof out, "%1.5s_%u_%03u_%s", name.c_str(), device, group, tail.c_str());
  } else if (device != 0) {
    std::snprintf(out, sizeof out, "%1.9s_%u_%s", name.c_str(), device, tail.c_str());
  } else if (group != 0) {
    std::snprintf(out, sizeof out, "%1.8s_%03u_%s", name.c_str(), group, tail.c_str());
  } else {
    std::snprintf(out, sizeof out, "%1.12s_%s", name.c_str(), tail.c_str());
  }
  return out;
}

void InitStatusGroupRecords(ChannelConfigRecord* records, std::string_view driver, uint32_t device,
                            uint32_t group, std::string_view port_text) {
  port_text =
      FixedText(port_text.data(), std::min<size_t>(port_text.size(), kStatusPortTextSize - 1));
  for (uint32_t k = 0; k < kStatusChannelsPerGroup; ++k) {
    ChannelConfigRecord& r = records[k];
    const StatusChannelText& text = kStatusChannelTexts[k];
    std::memset(r.bytes, 0, sizeof r.bytes);
    r.analogue.flags = analogue_flags::kEnable;
    SetChannelTag(&r, StatusChannelName(driver, device, group, text.tag_suffix));
    SetChannelDescription(&r, StatusChannelName(driver, device, group, text.description_suffix));
    if (k < kStatusChannelFirstCounter) {
      r.digital.Type = kTypeDO;
      std::string_view port = k == kStatusChannelState ? port_text : std::string_view();
      SetFixedText(r.digital.HighStateText, StateText(text.high_text_or_units, port), false);
      SetFixedText(r.digital.LowStateText, StateText(text.low_text, port), false);
    } else {
      r.analogue.Type = kTypeAO;
      SetChannelUnits(&r, text.high_text_or_units);
    }
  }
}

}  // namespace kestrum
