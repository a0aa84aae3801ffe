// Shortened logger names: how a long logger name becomes the tag and description of the
// channel that shows the logger's errors.
#ifndef PARVEX_CONFIG_LOGGER_NAMES_H_
#define PARVEX_CONFIG_LOGGER_NAMES_H_

#include "records/system_records.h"

namespace kestrum {

/// Returns the shortened form of `name` (at most 47 characters) in a process-wide buffer that
/// the next call overwrites. A name of at most 15 characters is returned unchanged. For a
/// logger whose record begins with "resub" (any case) and a name with at least four "_", the
/// first 15 characters are "%-1.2s_%1.12s" of the texts between the first three "_", padded
/// with blanks (the channel's tag), and the rest "_%-1.14s_%-1.14s_%c" or "_%-1.15s_%-1.15s"
/// of the next texts (the description). Any other name gives its first 47 characters.
const char* ShortenResubName(const LoggerRecord* logger, const char* name);

/// Returns "EXP " followed by ShortenResubName's form, cut to 47 characters, in a process-wide
/// buffer of its own.
const char* ExportedName(const LoggerRecord* logger, const char* name);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_LOGGER_NAMES_H_
