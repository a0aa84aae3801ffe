// The configuration print-out of a device (header, communication settings and channel tables)
// and of one channel block, on a caller's printer and page position.
#ifndef PARVEX_CONFIGUI_PRINT_OUT_H_
#define PARVEX_CONFIGUI_PRINT_OUT_H_

#include <cstdint>
#include <functional>
#include <string_view>

#include "configui/parvex_cf.h"
#include "configui/print_text.h"

namespace parvex {

/// A device's stored configuration as the print-out needs it.
struct StoredDeviceConfig {
  uint8_t auto_enable = 0;
  uint8_t block[PARVEX_CONFIG_BLOCK_SIZE] = {};
  uint8_t save_outputs = 0;
  uint8_t save_by_tag = 0;
  uint32_t save_rate = 0;
};

/// Where the print-out reads what its caller did not hand over. Each returns 0, or -1 with the
/// error number set.
struct PrintSources {
  /// Loads `count` records of channel kind `kind` (0..4), starting with channel `first`
  /// (counted from 0), from the current directory into `records`.
  std::function<int(int kind, ParvexChannelRecord* records, int first, int count)> load_channels;
  /// Reads the stored configuration of the device folder `folder_name` on the local machine.
  std::function<int(const char* folder_name, StoredDeviceConfig* config)> load_device;
  /// Returns whether a server name (or URL) names the local machine.
  std::function<bool(const std::string& server)> is_local_server;
};

/// The sources of a real print-out: the channel loader on the current directory, the device
/// configuration reader on the device's folder in the current configuration folder, and the
/// runtime's test for the local machine.
const PrintSources& DefaultPrintSources();

/// Prints the two tables of block `block` for channels first to last (0: the block's first or
/// last channel). `records` holds channel n at position n - 1; null loads the range through
/// sources.load_channels. Returns -1 (error number EINVAL for a bad block, range or page
/// length, EIO when the printer refuses to end a full page of the digital table, or the
/// loader's) or the line number after the digital table.
int PrintBlockConfig(const ParvexPrinter& printer, PageState& page, const PrintSources& sources,
                     const ParvexDeviceEntry& entry, int block, int first, int last,
                     const ParvexChannelRecord* records);

/// The input of a whole-device print-out, as the host passes it.
struct DevicePrintRequest {
  std::string_view server;
  ParvexDeviceEntry* entry = nullptr;
  uint8_t auto_enable = 0;
  uint8_t save_outputs = 0;
  uint8_t save_by_tag = 0;
  uint32_t save_rate = 0;
  uint8_t* block = nullptr;                        ///< null: read from the stored configuration
  ParvexChannelRecord** channel_arrays = nullptr;  ///< five arrays or null
};

/// Prints the device header, scan rate, communication settings and every block in use. Writes
/// the default PortName ("COM" + device number) and BaudRate (9600) into the block when they are
/// not set. Returns -1 when the stored configuration cannot be read (EOPNOTSUPP for a server
/// other than the local machine), when the default PortName does not fit (ENAMETOOLONG, before
/// anything is written or printed) or a block fails, else the last block's result (0 without
/// blocks in use).
int PrintDeviceConfig(const ParvexPrinter& printer, PageState& page, const PrintSources& sources,
                      const DevicePrintRequest& request);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_PRINT_OUT_H_
