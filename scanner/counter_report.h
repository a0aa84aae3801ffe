// The particle counter's printed report: checking its layout, parsing its data line and header,
// and choosing each analog-input channel's reading from it. Pure functions, no I/O.
//
// A report is the text before the BEL that ends it. Its first line holds the time of day and nine
// values (six particle counts, RH, TEMP, FLOW); two lines follow that are not examined; the
// header after the third CR LF holds the date, the port id of the counter's sampler and the
// sample volume. Fields are matched with the formatted-input rules of sscanf: white space matches
// any white space (or none) and text after the last field is ignored.
#ifndef PARVEX_SCANNER_COUNTER_REPORT_H_
#define PARVEX_SCANNER_COUNTER_REPORT_H_

#include <cstdint>

#include "records/channel_config.h"

namespace parvex {

/// The fields of a report.
struct CounterReport {
  int time[3] = {};      ///< hours, minutes, seconds as printed
  float values[9] = {};  ///< indexed by ValueType: six counts, RH, TEMP, FLOW
  int date[3] = {};      ///< the three date numbers in printed order
  int port = 0;          ///< the port id printed in the header
  float volume = 0;      ///< the sample volume
};

/// Outcome of checking a report's layout.
enum class ReportCheck {
  kGood,
  kBadDataLine,       ///< fewer than twelve fields in line 1
  kMissingEndOfLine,  ///< fewer than three CR LF pairs
  kBadHeader,         ///< the header matches neither the DIFF COUNT nor the TOTAL COUNT form
};

/// Returns the system's message for a failed check: "BAD FORMAT IN LINE 1",
/// "MISSING END OF LINE" or "BAD FORMAT IN LINE 2"; "" for kGood.
const char* ReportCheckMessage(ReportCheck check);

/// Parses the NUL-terminated report `text` into `report`. Returns kGood, or the first rule the
/// text breaks (the data line is checked first, then the line ends, then the header); `report`
/// is complete only for kGood.
ReportCheck ParseCounterReport(const char* text, CounterReport* report);

/// Status-word bit of a channel without a valid value; cleared when a reading is written.
inline constexpr uint32_t kStatusNoValue = 0x20;

/// Where the readings of one report go.
struct ChannelReadings {
  uint16_t count = 0;                                     ///< channels
  const kestrum::ChannelConfigRecord* records = nullptr;  ///< `count` configuration records
  uint32_t* status = nullptr;                             ///< `count` working status words
  float* values = nullptr;                                ///< `count` raw readings
  uint8_t* fresh = nullptr;  ///< optional: `count` flags, 1 where a reading was written now
};

/// Writes into `out` the reading each enabled channel selects from `report`, given the port id
/// `remembered_port` that the previous report announced: VALUE takes values[ValueType] when the
/// channel's PortNumber equals `remembered_port`; TIME hhmmss and DATE d1·10000 + d2·100 + d3
/// (32-bit wrap-around arithmetic); PORT `remembered_port`; VOLUME the sample volume. A written
/// channel loses kStatusNoValue and gets fresh[i] = 1; every other channel is left alone, with
/// fresh[i] = 0. Returns the number of channels written.
int ApplyCounterReport(const CounterReport& report, int remembered_port,
                       const ChannelReadings& out);

}  // namespace parvex

#endif  // PARVEX_SCANNER_COUNTER_REPORT_H_
