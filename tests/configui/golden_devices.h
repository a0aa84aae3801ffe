// The devices of the golden print-outs (tests/configui/golden), shared by the print-out's tests
// on every printer.
#ifndef PARVEX_TESTS_CONFIGUI_GOLDEN_DEVICES_H_
#define PARVEX_TESTS_CONFIGUI_GOLDEN_DEVICES_H_

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "channel_records.h"
#include "configui/parvex_cf.h"
#include "configui/print_out.h"

namespace parvex_test {

inline std::string GoldenPath(const std::string& name) {
  return std::string(PARVEX_GOLDEN_DIR) + "/" + name;
}

/// The stored page text `name`; empty when it cannot be read.
inline std::string ReadGolden(const std::string& name) {
  std::ifstream in(GoldenPath(name), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void SetComm(uint8_t* block, uint32_t scan_rate, int32_t baud, const char* port,
                    uint32_t parity, int32_t data_bits) {
  ParvexCommSettings comm{scan_rate, baud, {}, parity, data_bits};
  std::snprintf(comm.PortName, sizeof comm.PortName, "%s", port);
  std::memcpy(block, &comm, sizeof comm);
}

/// The request a host makes for `entry` with its own block and channel arrays: AutoEnable and
/// SaveOutputs set, SaveByTag clear, SaveRate 90500 ms.
inline parvex::DevicePrintRequest HostRequest(ParvexDeviceEntry* entry, uint8_t* block,
                                              ParvexChannelRecord** arrays,
                                              const char* server = "") {
  return parvex::DevicePrintRequest{server, entry, 1, 1, 0, 90500, block, arrays};
}

inline ParvexChannelRecord FullAnalogue(std::string_view tag) {
  return RecordBuilder(0)
      .Flags(kEnable | kEventEnable | kLowAlarmEnable | kLowDriveCommon | kLowWarningEnable |
             kLowDeadbandEnable | kHighAlarmEnable | kHighDeadbandEnable | kSigChangeEnable)
      .Tag(tag)
      .Description("Particles 0.3-0.5 um per cubic foot")  // 36 characters: cut to 32
      .Units("cnt/ft3")
      .Float(48, 0.1f)           // LowEventLimit
      .Float(44, 123.25f)        // HighEventLimit
      .Float(60, -12345.678f)    // LowAlarmLimit
      .Float(180, 10.0f)         // LowWarningLimit
      .Float(64, -12340.0f)      // LowAlarmDeadband
      .Float(52, 1234567.0f)     // HighAlarmLimit
      .Float(56, 1234560.0f)     // HighAlarmDeadband
      .Float(68, 1000000000.0f)  // SigChangeValue
      .U8(73, 3)
      .U16(186, 15)
      .Chars(106, "LOW PARTICLE COUNT", 32)
      .U8(72, 250)
      .U16(184, 65535)
      .Chars(74, "HIGH PARTICLE COUNT - EXACTLY 32", 32)
      .Build();
}

inline ParvexChannelRecord PlainAnalogue(std::string_view tag) {
  return RecordBuilder(0)
      .Flags(kEnable)
      .Tag(tag)
      .Description("Relative humidity")
      .Units("%")
      .Build();
}

inline ParvexChannelRecord Digital(std::string_view tag, bool alarm) {
  RecordBuilder b(1);
  b.Flags(kEnable | kDigitalEventEnable | kDigitalEventState)
      .Tag(tag)
      .Description("Door contact")
      .Chars(64, "CLOSED", 32)
      .Chars(32, "OPEN", 32);
  if (alarm) {
    b.Flags(kDigitalAlarmEnable | kDigitalDriveCommon)
        .U8(96, 7)
        .U16(190, 30)
        .Chars(97, "DOOR OPEN", 32);
  }
  return b.Build();
}

inline ParvexChannelRecord Disabled(int type) { return RecordBuilder(type).Tag("SPARE").Build(); }

/// A device of a golden print-out, with its configuration block and channel arrays, printed
/// on pages of 20 lines.
struct GoldenDevice {
  const char* golden_file;
  ParvexDeviceEntry entry = MakeEntry(2, "PARTICLE COUNTER 1");
  uint8_t block[PARVEX_CONFIG_BLOCK_SIZE] = {};
  std::vector<ParvexChannelRecord> channels[PARVEX_CHANNEL_BLOCKS];
  ParvexChannelRecord* arrays[PARVEX_CHANNEL_BLOCKS] = {};

  /// The five channel arrays as the host passes them (null for a block without records).
  ParvexChannelRecord** Arrays() {
    for (int i = 0; i < PARVEX_CHANNEL_BLOCKS; ++i) {
      arrays[i] = channels[i].empty() ? nullptr : channels[i].data();
    }
    return arrays;
  }
};

/// An analogue block whose tables fill more than one page, and a digital block.
inline GoldenDevice TwoBlocksDevice() {
  GoldenDevice d{"device_two_blocks.txt"};
  SetComm(d.block, 90500, 19200, "COM3", 3, 7);
  SetBlock(d.entry, 0, "AI", 6);
  SetBlock(d.entry, 1, "DI", 3);
  d.channels[0] = {FullAnalogue("PC1_COUNT_03_05"),
                   PlainAnalogue("PC1_RH"),
                   Disabled(0),
                   Digital("MISPLACED", false),
                   FullAnalogue("A_TAG_LONGER_THAN_15"),
                   PlainAnalogue("PC1_TEMP")};
  d.channels[1] = {Digital("DOOR1", true), Disabled(1), Digital("DOOR2", false)};
  return d;
}

/// An all-digital and an all-disabled block, with the port name and baud rate left to their
/// defaults; the print-out ends on its last DISABLED line.
inline GoldenDevice DigitalAndDisabledDevice() {
  GoldenDevice d{"device_digital_and_disabled.txt"};
  SetComm(d.block, 300 * 60000, 0, "", 4, 0);
  SetBlock(d.entry, 1, "DI", 2);
  SetBlock(d.entry, 3, "DO", 2);
  d.channels[1] = {Digital("DOOR1", true), Digital("DOOR2", false)};
  d.channels[3] = {Disabled(3), Disabled(3)};
  return d;
}

}  // namespace parvex_test

#endif  // PARVEX_TESTS_CONFIGUI_GOLDEN_DEVICES_H_
