#include "scanner/scanner_hooks.h"

#include <cstdio>

#include "config/xml_document.h"
#include "platform/error_number.h"
#include "runtime/driver_link.h"
#include "runtime/error_reporting.h"
#include "runtime/system_event.h"
#include "runtime/time_stamps.h"

namespace parvex {
namespace {

kestrum::TimeStamp Now() { return kestrum::LocalTimeNow(); }
void Report(const char* message) { kestrum::ReportError("%s", message); }
void ReportEvent(int type, const char* text) { kestrum::ReportSystemEvent(".", type, text); }

}  // namespace

ScannerHooks DefaultScannerHooks() {
  ScannerHooks hooks;
  hooks.now = Now;
  hooks.hold_messages = kestrum::HoldDriverMessages;
  hooks.wait_for_message = kestrum::WaitForDriverMessage;
  hooks.wait_ticks = kestrum::WaitTicks;
  hooks.report_error = Report;
  hooks.clear_error = kestrum::ClearError;
  hooks.report_event = ReportEvent;
  return hooks;
}

void ReportFailure(const ScannerHooks& hooks, const char* format, int number,
                   bool xml_text_allowed) {
  kestrum::KeepErrorNumber keep;
  if (xml_text_allowed && kestrum::GetLastPlatformError() == kestrum::kXmlParseError) {
    hooks.report_error(kestrum::xml_GetErrorText());
  } else {
    char text[128];
    std::snprintf(text, sizeof text, format, number);
    hooks.report_error(text);
  }
}

}  // namespace parvex
