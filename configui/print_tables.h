// The analogue and digital channel tables of one channel block.
#ifndef PARVEX_CONFIGUI_PRINT_TABLES_H_
#define PARVEX_CONFIGUI_PRINT_TABLES_H_

#include <span>
#include <string_view>

#include "configui/parvex_cf.h"
#include "configui/print_text.h"

namespace parvex {

/// Channels first to last of a block; records[i] holds channel first + i.
struct ChannelRange {
  std::string_view prefix;  ///< the block's prefix up to its first NUL (at most two are printed)
  int first;
  int last;
  std::span<const ParvexChannelRecord> records;
};

/// Prints the enabled analogue channels of `range`, a header at the top of each page and a form
/// feed after each page; or, when none is enabled, the line "CHANNELS ... DISABLED" on the open
/// page. `lines_per_page` must be at least 2. Returns -1 with error number EIO when a form feed
/// fails, else the line number after the table.
int PrintAnalogueTable(PrintSink& out, const ChannelRange& range, int lines_per_page);

/// The same for the digital channels, except that a failed form feed after the last channel is
/// ignored. Returns -1 with error number EIO when a form feed fails on a full page with channels
/// left, else the line number after the table.
int PrintDigitalTable(PrintSink& out, const ChannelRange& range, int lines_per_page);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_PRINT_TABLES_H_
