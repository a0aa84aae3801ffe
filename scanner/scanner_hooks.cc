#include "scanner/scanner_hooks.h"

#include <cstdio>
#include <string>

#include "config/failure_text.h"
#include "config/xml_document.h"
#include "platform/error_number.h"
#include "runtime/driver_link.h"
#include "runtime/error_reporting.h"
#include "runtime/system_event.h"
#include "runtime/time_stamps.h"

namespace parvex {

void ScannerHooks::ReportEvent(int /*type*/, const char* /*text*/) {}

kestrum::TimeStamp SystemScannerHooks::Now() { return kestrum::LocalTimeNow(); }

int SystemScannerHooks::HoldMessages(int flag) { return kestrum::HoldDriverMessages(flag); }

int SystemScannerHooks::WaitForMessage(uint32_t ms) { return kestrum::WaitForDriverMessage(ms); }

int SystemScannerHooks::WaitTicks(uint32_t ticks) { return kestrum::WaitTicks(ticks); }

void SystemScannerHooks::ReportError(const char* message) { kestrum::ReportError("%s", message); }

void SystemScannerHooks::ClearError() { kestrum::ClearError(); }

void SystemScannerHooks::ReportEvent(int type, const char* text) {
  kestrum::ReportSystemEvent(".", type, text);
}

void ReportFailure(ScannerHooks& hooks, const char* format, int number, bool xml_text_allowed) {
  kestrum::KeepErrorNumber keep;
  if (xml_text_allowed && kestrum::GetLastPlatformError() == kestrum::kXmlParseError) {
    // The whole text went to the system log when the load failed; the device message keeps
    // the file, line:column and as much of the reason as the entry shows.
    const std::string text =
        kestrum::FitFailureText(kestrum::xml_GetErrorText(), kestrum::kLongErrorMessageLength);
    hooks.ReportError(text.c_str());
  } else {
    char text[128];
    std::snprintf(text, sizeof text, format, number);
    hooks.ReportError(text);
  }
}

}  // namespace parvex
