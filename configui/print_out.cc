#include "configui/print_out.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "configui/print_format.h"
#include "configui/print_tables.h"
#include "platform/error_number.h"
#include "records/device_record.h"
#include "records/fixed_text.h"

namespace parvex {
namespace {

std::string_view PrefixOf(const ParvexChannelBlock& block) {
  return kestrum::FixedText(block.Prefix);
}

ParvexCommSettings ReadComm(const uint8_t* block) {
  ParvexCommSettings comm;
  std::memcpy(&comm, block, sizeof comm);
  return comm;
}

void PrintHeader(PrintSink& out, const DevicePrintRequest& r, const StoredDeviceConfig& c) {
  const ParvexDeviceEntry& entry = *r.entry;
  std::string name(kestrum::FixedText(entry.DeviceName));
  out.Format("        SERVER NAME    [%.*s]\n", static_cast<int>(r.server.size()), r.server.data());
  char label[32];
  std::snprintf(label, sizeof label, "%s NAME", "DEVICE");
  out.Format("        %-14s [%s]\n", label, name.c_str());
  out.Format("        STATUS         [%s]\n", StatusName(c.auto_enable));
  out.Format("        AUTOSAVE       [%s]", YesNo(c.save_outputs));
  if (c.save_outputs) {
    out.Format("                    BY TAG  [%s]       SAVE RATE %s", YesNo(c.save_by_tag),
               FormatDuration(c.save_rate).c_str());
  }
  out.Text("\n\n\n");
}

// Fills in the default port name and baud rate the scanner would use in `block`. Returns 0,
// or -1 with error number ENAMETOOLONG, leaving the block unchanged, when the default name of
// `device_number` does not fit the port name.
int FillCommDefaults(uint16_t device_number, uint8_t* block) {
  ParvexCommSettings comm = ReadComm(block);
  if (comm.PortName[0] == '\0' && !kestrum::DefaultPortName(device_number, comm.PortName)) {
    return kestrum::FailWith(ENAMETOOLONG);
  }
  if (comm.BaudRate == 0) comm.BaudRate = kestrum::kDefaultBaudRate;
  std::memcpy(block, &comm, sizeof comm);
  return 0;
}

// Prints the scan rate and the communication settings.
void PrintComm(PrintSink& out, const uint8_t* block) {
  ParvexCommSettings comm = ReadComm(block);
  out.Format("        SCAN RATE %s\n\n", FormatDuration(comm.ScanRate).c_str());
  std::string port(kestrum::FixedText(comm.PortName));
  out.Text("COMMUNICATION SETTINGS:\n");
  out.Format("        PORT           [%-6.6s]            BAUD RATE [%-6d]\n", port.c_str(),
             comm.BaudRate);
  out.Format("        DATA BITS      [%d]                                \n",
             comm.DataBits == 0 ? 8 : comm.DataBits);
  out.Format("        PARITY         %-4.4s\n", ParityName(comm.Parity));
}

int LoadStored(const PrintSources& sources, const DevicePrintRequest& r, StoredDeviceConfig* c) {
  // The server link is not part of this module: only the local machine's files are read.
  if (!sources.is_local_server || !sources.is_local_server(std::string(r.server))) {
    return kestrum::FailWith(EOPNOTSUPP);
  }
  if (!sources.load_device) return kestrum::FailWith(ENOSYS);
  std::string folder(kestrum::FixedText(r.entry->FolderName));
  return sources.load_device(folder.c_str(), c);
}

}  // namespace

int PrintBlockConfig(const ParvexPrinter& printer, PageState& page, const PrintSources& sources,
                     const ParvexDeviceEntry& entry, int block, int first, int last,
                     const ParvexChannelRecord* records) {
  if (block < 0 || block >= PARVEX_CHANNEL_BLOCKS) return kestrum::FailWith(EINVAL);
  const ParvexChannelBlock& b = entry.Blocks[block];
  if (first == 0) first = 1;
  if (last == 0) last = b.ChannelCount;
  if (first < 1 || last < first || last > b.ChannelCount) return kestrum::FailWith(EINVAL);
  PrintSink out(printer, page);
  int lines_per_page = out.LinesPerPage();
  // A page must hold at least two lines, or a table could never fill a page and move on.
  if (lines_per_page < 2) return kestrum::FailWith(EINVAL);

  int count = last - first + 1;
  std::vector<ParvexChannelRecord> loaded;
  if (records == nullptr) {
    if (!sources.load_channels) return kestrum::FailWith(ENOSYS);
    loaded.resize(count);
    if (sources.load_channels(block, loaded.data(), first - 1, count) != 0) return -1;
  }
  ChannelRange range{PrefixOf(b), first, last,
                     records ? std::span(records + first - 1, count) : std::span(loaded)};
  PrintAnalogueTable(out, range, lines_per_page);
  return PrintDigitalTable(out, range, lines_per_page);
}

int PrintDeviceConfig(const ParvexPrinter& printer, PageState& page, const PrintSources& sources,
                      const DevicePrintRequest& r) {
  StoredDeviceConfig stored;
  uint8_t* block = r.block;
  if (block == nullptr) {
    if (LoadStored(sources, r, &stored) != 0) return -1;
    block = stored.block;
  } else {
    stored.auto_enable = r.auto_enable;
    stored.save_outputs = r.save_outputs;
    stored.save_by_tag = r.save_by_tag;
    stored.save_rate = r.save_rate;
  }
  if (FillCommDefaults(r.entry->DeviceNumber, block) != 0) return -1;
  PrintSink out(printer, page);
  PrintHeader(out, r, stored);
  PrintComm(out, block);

  int result = 0;
  for (int i = 0; i < PARVEX_CHANNEL_BLOCKS; ++i) {
    if (r.entry->Blocks[i].Prefix[0] == '\0') continue;
    const ParvexChannelRecord* records = r.channel_arrays ? r.channel_arrays[i] : nullptr;
    result = PrintBlockConfig(printer, page, sources, *r.entry, i, 0, 0, records);
    if (result < 0) return result;
  }
  return result;
}

}  // namespace parvex
