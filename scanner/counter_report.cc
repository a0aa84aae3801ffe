#include "scanner/counter_report.h"

#include <cstdio>
#include <cstring>

namespace parvex {
namespace {

constexpr char kDataLineFormat[] = "%d:%d:%d %f %f %f %f %f %f %f %f %f";
constexpr const char* kHeaderFormats[] = {
    "%d/%d/%d     ID= PORT %d            DIFF COUNT     SAMPLE VOL= %f",
    "%d/%d/%d     ID= PORT %d            TOTAL COUNT     SAMPLE VOL= %f",
};

// a·10000 + b·100 + c in 32-bit arithmetic that wraps instead of overflowing.
float SixDigits(const int n[3]) {
  uint32_t sum = static_cast<uint32_t>(n[0]) * 10000u + static_cast<uint32_t>(n[1]) * 100u +
                 static_cast<uint32_t>(n[2]);
  return static_cast<float>(static_cast<int32_t>(sum));
}

// The reading channel `record` selects, or false when it selects none.
bool Select(const kestrum::ChannelConfigRecord& record, const CounterReport& report,
            int remembered_port, float* reading) {
  const kestrum::AnalogueHardware& hw = record.analogue.Analogue;
  switch (hw.FieldType) {
    case kestrum::kFieldValue:
      if (hw.PortNumber != remembered_port || hw.ValueType >= kestrum::kValueTypeCount) {
        return false;
      }
      *reading = report.values[hw.ValueType];
      return true;
    case kestrum::kFieldTime:
      *reading = SixDigits(report.time);
      return true;
    case kestrum::kFieldDate:
      *reading = SixDigits(report.date);
      return true;
    case kestrum::kFieldPort:
      *reading = static_cast<float>(remembered_port);
      return true;
    case kestrum::kFieldVolume:
      *reading = report.volume;
      return true;
    default:
      return false;
  }
}

}  // namespace

const char* ReportCheckMessage(ReportCheck check) {
  switch (check) {
    case ReportCheck::kBadDataLine:
      return "BAD FORMAT IN LINE 1";
    case ReportCheck::kMissingEndOfLine:
      return "MISSING END OF LINE";
    case ReportCheck::kBadHeader:
      return "BAD FORMAT IN LINE 2";
    default:
      return "";
  }
}

ReportCheck ParseCounterReport(const char* text, CounterReport* r) {
  float* v = r->values;
  if (std::sscanf(text, kDataLineFormat, &r->time[0], &r->time[1], &r->time[2], &v[0], &v[1], &v[2],
                  &v[3], &v[4], &v[5], &v[6], &v[7], &v[8]) < 12) {
    return ReportCheck::kBadDataLine;
  }
  const char* header = text;
  for (int i = 0; i < 3; ++i) {
    header = std::strstr(header, "\r\n");
    if (header == nullptr) return ReportCheck::kMissingEndOfLine;
    header += 2;
  }
  for (const char* format : kHeaderFormats) {
    if (std::sscanf(header, format, &r->date[0], &r->date[1], &r->date[2], &r->port, &r->volume) ==
        5) {
      return ReportCheck::kGood;
    }
  }
  return ReportCheck::kBadHeader;
}

int ApplyCounterReport(const CounterReport& report, int remembered_port,
                       const ChannelReadings& out) {
  int written = 0;
  for (uint16_t i = 0; i < out.count; ++i) {
    float reading = 0;
    bool write = kestrum::ChannelEnabled(out.records[i]) &&
                 Select(out.records[i], report, remembered_port, &reading);
    if (out.fresh) out.fresh[i] = write ? 1 : 0;
    if (!write) continue;
    out.values[i] = reading;
    out.status[i] &= ~kStatusNoValue;
    ++written;
  }
  return written;
}

}  // namespace parvex
