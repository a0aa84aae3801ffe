// Reporting this process's current error: one short text line in the process's entry of the
// error table "dm_errors" and, when the system has the data processor "SYSER", on the SYSER
// channel whose description names the process (its state is raised while an error is
// reported, its texts carry the message).
//
// A process registers once as an error source (type and name) and then reports each failure
// with a printf-style message; an empty message clears the error. Reporting never changes the
// caller's error number, so a message may show the error number it reports on.
//
// The error table has two layouts: long entries (names up to 129 characters, messages stored
// up to 80) when the driver manager sized it for them, else short entries (names up to 24
// characters, messages up to 30). SYSER channel texts hold up to 32 characters.
//
// Thread safety: the binding is process-wide and guarded; any thread may report.
#ifndef PARVEX_RUNTIME_ERROR_REPORTING_H_
#define PARVEX_RUNTIME_ERROR_REPORTING_H_

#include <cstddef>
#include <cstdint>

#include "records/error_entries.h"
#include "records/system_records.h"

namespace kestrum {

/// Name of the data processor whose channels show the errors of the system's processes.
inline constexpr char kSystemErrorProcessorName[] = "SYSER";

/// Longest message an entry of the long layout stores; a longer one is cut there.
inline constexpr size_t kLongErrorMessageLength = 80;

/// A rule that turns the name of a logger source into the name its SYSER channel carries.
/// Returns a text that stays valid until the rule's next call.
using ErrorSourceNameRule = const char* (*)(const LoggerRecord* logger, const char* name);

/// Installs the name rules for logger sources of type 4 (kErrorSourceLogger) and type 5
/// (kErrorSourceResubLogger); a program that has them (ExportedName and ShortenResubName of
/// config/logger_names.h) installs them before it registers. A null rule, the default, stands
/// for the first 47 characters of the name.
void SetErrorSourceNameRules(ErrorSourceNameRule type4, ErrorSourceNameRule type5);

/// Registers the process as the error source `name` of type `type` (kErrorSourceDevice for a
/// scanner, with its device name): takes the entry with the same type and name (ignoring case)
/// or claims a free one (the first in the long layout, the last in the short one), writes type
/// and name and empties the message; then binds the SYSER channel whose description names the
/// source. When that channel is still raised from an earlier run, its text becomes the entry's
/// message. Returns 0 when the process has an entry, or -1 when it stays unbound (error number
/// as OpenSharedArea without "dm_errors", ENOSPC when the table is full, EINVAL for a null or
/// empty name).
int RegisterErrorSource(uint8_t type, const char* name);

/// Formats the message (printf-style; at most 120 characters are kept in the long layout) and,
/// when it differs from the current one (ignoring case), stores it in the entry, notifies the
/// error table's subscribers and raises the SYSER channel with the message as its texts. An
/// empty message clears the error (ClearError). Does nothing when the process is unbound. The
/// caller's error number and platform error are kept.
void ReportError(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Empties the entry's message (when it is not empty), notifies the error table and lowers the
/// SYSER channel. Keeps the caller's error number and platform error.
void ClearError();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_ERROR_REPORTING_H_
