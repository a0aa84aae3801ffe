// The particle counter's printed report, as the counter sends it after each sample, and the
// malformed variants the simulator can send instead. Pure functions: tests use them to produce
// canned reports without a pseudo-terminal.
//
// A report on the wire is
//   <data line> CR LF <line 2> CR LF <line 3> CR LF <header> BEL
// and the next report follows the BEL at once.
// The data line is "hh:mm:ss" and nine numbers: six particle counts (0.3-0.5, 0.5-1.0, 1.0-5.0,
// 5.0-10, 10-25 and >25 micrometres), relative humidity, temperature and flow. The header is
// "MM/DD/YY     ID= PORT p            DIFF COUNT     SAMPLE VOL= v" (or TOTAL COUNT); the
// port id it prints is the port of the next sample.
#ifndef PARVEX_TOOLS_COUNTER_SIM_COUNTER_REPORT_H_
#define PARVEX_TOOLS_COUNTER_SIM_COUNTER_REPORT_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace counter_sim {

/// One sample as the counter prints it.
struct Sample {
  int hour = 0;
  int minute = 0;
  int second = 0;
  /// Six counts (falling with particle size), then RH (%), TEMP (degrees C), FLOW.
  std::array<double, 9> values{};
  int month = 1;
  int day = 1;
  int year = 0;         ///< two digits
  int header_port = 0;  ///< the port id printed in the header
  bool total_count = false;
  double volume = 1.0;
};

/// What the simulator sends in place of a good report.
enum class Fault {
  kNone,
  kSilence,        ///< nothing for a while
  kElevenNumbers,  ///< a data line with the time and only eight values
  kMissingCrLf,    ///< lines 2 and 3 run together: only two CR LF pairs before the header
  kBadHeader,      ///< "ID:" in place of "ID=" in the header
  kNoBel,          ///< the report without its final BEL
  kLineNoise,      ///< bytes of noise (a NUL among them, no digit, no BEL) before the report
  kSlowFragments,  ///< the report in fragments with pauses between them
  kHangUp,         ///< the line goes away and comes back later
};

/// Returns the data line (without line ends).
std::string FormatDataLine(const Sample& sample);

/// Returns the header line (without line ends).
std::string FormatHeader(const Sample& sample);

/// Returns a good report, from the first byte of its data line to its BEL.
std::string FormatReport(const Sample& sample);

/// Returns the bytes sent for `sample` with a text fault (eleven numbers, missing CR LF, bad
/// header, no BEL, line noise; `noise_seed` picks the noise). Other faults give the good report.
std::string FormatFaultyReport(const Sample& sample, Fault fault, std::uint32_t noise_seed = 1);

/// Splits `report` into `count` fragments of about equal size (at least one byte each).
std::vector<std::string> SplitIntoFragments(std::string_view report, int count);

/// Returns the fault named `name` ("silence", "eleven", "nocrlf", "badheader", "nobel", "noise",
/// "slow", "hangup"), or nothing for an unknown name.
std::optional<Fault> ParseFault(std::string_view name);

/// Returns the name ParseFault accepts for `fault` ("none" for kNone).
std::string_view FaultName(Fault fault);

}  // namespace counter_sim

#endif  // PARVEX_TOOLS_COUNTER_SIM_COUNTER_REPORT_H_
