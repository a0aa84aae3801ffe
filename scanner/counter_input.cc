#include "scanner/counter_input.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/error_number.h"
#include "runtime/error_reporting.h"
#include "scanner/diagnostics.h"

namespace parvex {
namespace {

constexpr char kHungUpTrace[] = "LINE HUNG UP\r\n";

}  // namespace

CounterInput::CounterInput(PortWaitFunction wait) : link_(wait) {}

int CounterInput::OpenPort(kestrum::DeviceRecord* device) {
  remembered_port_ = 0;
  return link_.Open(device);
}

void CounterInput::Trace(const char* text) const {
  if (services_ != nullptr) services_->Trace(text);
}

int CounterInput::Fail(ReportCheck check) const {
  const char* message = ReportCheckMessage(check);
  if (services_ != nullptr) services_->ReportError(message);
  Trace((std::string(message) + "\r\n").c_str());
  return -1;
}

// Reads one report into `text` (kMaxReportBytes bytes) and returns the bytes received; the last
// of them is replaced by NUL.
int CounterInput::ReadReport(char* text) {
  int got = link_.ReadUntil(text, kReportTerminator, kMaxReportBytes, kReportTimeoutMs);
  if (got > 0 && text[got - 1] != kReportTerminator && got < kMaxReportBytes) {
    got += link_.ReadUntil(text + got, kReportTerminator, kMaxReportBytes - got, kReportTimeoutMs);
  }
  if (got > 0) text[got - 1] = '\0';
  return got;
}

int CounterInput::Scan(const ChannelReadings& out) {
  if (out.fresh) std::fill(out.fresh, out.fresh + out.count, uint8_t{0});
  if (!link_.is_open()) return kestrum::FailWith(EBADF);
  char text[kMaxReportBytes];
  int got = ReadReport(text);
  if (link_.hung_up()) {
    // A partial report is never used: the line is gone and must be opened again.
    if (got > 0) Trace(text);
    Trace(kHungUpTrace);
    return kestrum::FailWith(kestrum::kSerialHangUp);
  }
  if (got == 0) return 0;
  Trace(text);
  CounterReport report;
  ReportCheck check = ParseCounterReport(text, &report);
  if (check != ReportCheck::kGood) return Fail(check);
  if (services_ != nullptr) services_->ClearError();
  ApplyCounterReport(report, remembered_port_, out);
  remembered_port_ = report.port;
  return 0;
}

void SystemCounterServices::ReportError(const char* message) {
  kestrum::ReportError("%s", message);
}

void SystemCounterServices::ClearError() { kestrum::ClearError(); }

void SystemCounterServices::Trace(const char* text) { parvex::Trace(text); }

int CounterDevice::Scan(int kind, const kestrum::DeviceConfigBlock* /*config*/, uint16_t count,
                        const kestrum::ChannelConfigRecord* records, uint32_t* status,
                        float* readings) {
  if (kind != kestrum::kKindAnalogInput) return 0;
  return input_->Scan({count, records, status, readings, nullptr});
}

int CounterDevice::OpenPort(kestrum::DeviceRecord* device) { return input_->OpenPort(device); }

void CounterDevice::ClosePort() { input_->ClosePort(); }

}  // namespace parvex
