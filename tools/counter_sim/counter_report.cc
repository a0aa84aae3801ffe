#include "tools/counter_sim/counter_report.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace counter_sim {
namespace {

constexpr char kLine2[] =
    "SIZE 0.3-0.5   0.5-1.0   1.0-5.0    5.0-10     10-25       >25     RH   TEMP   FLOW";
constexpr char kLine3[] = "  LOCATION 01    MODE AUTO    CYCLE 01";

struct FaultNameEntry {
  Fault fault;
  std::string_view name;
};

constexpr FaultNameEntry kFaultNames[] = {
    {Fault::kNone, "none"},
    {Fault::kSilence, "silence"},
    {Fault::kElevenNumbers, "eleven"},
    {Fault::kMissingCrLf, "nocrlf"},
    {Fault::kBadHeader, "badheader"},
    {Fault::kNoBel, "nobel"},
    {Fault::kLineNoise, "noise"},
    {Fault::kSlowFragments, "slow"},
    {Fault::kHangUp, "hangup"},
};

// The data line with the first `value_count` values.
std::string DataLine(const Sample& s, int value_count) {
  char buf[256];
  int len = std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", s.hour, s.minute, s.second);
  std::string line(buf, static_cast<std::size_t>(len));
  for (int i = 0; i < value_count; ++i) {
    const char* format = i < 6 ? "%10.0f" : (i == 8 ? "%7.2f" : "%7.1f");
    len = std::snprintf(buf, sizeof buf, format, s.values[static_cast<std::size_t>(i)]);
    line.append(buf, static_cast<std::size_t>(len));
  }
  return line;
}

std::string Assemble(const std::string& data, const char* separator_after_line2,
                     const std::string& header) {
  return data + "\r\n" + kLine2 + separator_after_line2 + kLine3 + "\r\n" + header + "\a";
}

std::string Noise(std::uint32_t seed) {
  std::mt19937 rng(seed);
  // Bytes a disturbed line gives: no digits, no white space, no BEL, and a NUL among them.
  static constexpr char kGlitches[] = "\x80\xff\xfe\x1b~?@#*\x7f\xc0\x15";
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kGlitches - 2);
  std::string noise;
  for (int i = 0; i < 12; ++i) noise += kGlitches[pick(rng)];
  noise[5] = '\0';
  return noise;
}

}  // namespace

std::string FormatDataLine(const Sample& sample) { return DataLine(sample, 9); }

std::string FormatHeader(const Sample& s) {
  char buf[160];
  int len = std::snprintf(
      buf, sizeof buf, "%02d/%02d/%02d     ID= PORT %d            %s     SAMPLE VOL= %.2f", s.month,
      s.day, s.year, s.header_port, s.total_count ? "TOTAL COUNT" : "DIFF COUNT", s.volume);
  return std::string(buf, static_cast<std::size_t>(len));
}

std::string FormatReport(const Sample& sample) {
  return Assemble(FormatDataLine(sample), "\r\n", FormatHeader(sample));
}

std::string FormatFaultyReport(const Sample& sample, Fault fault, std::uint32_t noise_seed) {
  switch (fault) {
    case Fault::kElevenNumbers:
      return Assemble(DataLine(sample, 8), "\r\n", FormatHeader(sample));
    case Fault::kMissingCrLf:
      return Assemble(FormatDataLine(sample), "  ", FormatHeader(sample));
    case Fault::kBadHeader: {
      std::string header = FormatHeader(sample);
      header.replace(header.find("ID="), 3, "ID:");
      return Assemble(FormatDataLine(sample), "\r\n", header);
    }
    case Fault::kNoBel: {
      std::string report = FormatReport(sample);
      report.pop_back();
      return report;
    }
    case Fault::kLineNoise:
      return Noise(noise_seed) + FormatReport(sample);
    default:
      return FormatReport(sample);
  }
}

std::vector<std::string> SplitIntoFragments(std::string_view report, int count) {
  std::vector<std::string> fragments;
  if (report.empty()) return fragments;
  std::size_t n = static_cast<std::size_t>(std::clamp<int>(count, 1, int(report.size())));
  std::size_t size = report.size() / n;
  for (std::size_t i = 0; i < n; ++i) {
    std::size_t length = (i + 1 == n) ? std::string_view::npos : size;
    fragments.emplace_back(report.substr(i * size, length));
  }
  return fragments;
}

std::optional<Fault> ParseFault(std::string_view name) {
  for (const FaultNameEntry& entry : kFaultNames) {
    if (entry.name == name && entry.fault != Fault::kNone) return entry.fault;
  }
  return std::nullopt;
}

std::string_view FaultName(Fault fault) {
  for (const FaultNameEntry& entry : kFaultNames) {
    if (entry.fault == fault) return entry.name;
  }
  return "none";
}

}  // namespace counter_sim
