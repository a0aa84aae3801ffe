#include "configui/comm_settings_map.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/error_number.h"

namespace parvex {
namespace {

TEST(CommSettingsMap, EveryStoredValueMapsToItsListPosition) {
  const int32_t rates[] = {300, 1200, 9600, 19200, 38400};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(BaudRatePosition(rates[i]), i);
    EXPECT_EQ(BaudRateAt(i), rates[i]);
    EXPECT_STREQ(kBaudRateItems[i], std::to_string(rates[i]).c_str());
  }
  for (int32_t data_bits = 5; data_bits <= 8; ++data_bits) {
    EXPECT_EQ(DataBitsPosition(data_bits), data_bits - 5);
    EXPECT_EQ(DataBitsAt(data_bits - 5), data_bits);
  }
  // Positions follow the list "None", "Odd", "Even", "Space", "Mark".
  const uint32_t parity_at_position[] = {0, 1, 2, 4, 3};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ParityAt(i), parity_at_position[i]) << i;
    EXPECT_EQ(ParityPosition(parity_at_position[i]), i) << i;
  }
  EXPECT_STREQ(kParityItems[ParityPosition(3)], "Mark");
  EXPECT_STREQ(kParityItems[ParityPosition(4)], "Space");
}

TEST(CommSettingsMap, UnlistedValuesAndNoSelectionFallBack) {
  EXPECT_EQ(BaudRatePosition(4800), 4);
  EXPECT_EQ(BaudRatePosition(0), 4);
  EXPECT_EQ(BaudRateAt(-1), 38400);
  EXPECT_EQ(BaudRateAt(9), 38400);
  EXPECT_EQ(ParityPosition(7), 3);
  EXPECT_EQ(ParityAt(-1), 3u);
  EXPECT_EQ(DataBitsPosition(4), 3);
  EXPECT_EQ(DataBitsPosition(9), 3);
  EXPECT_EQ(DataBitsAt(-1), 8);
}

TEST(CommSettingsMap, DefaultsOnlyForAnEmptyPortName) {
  PortSettings empty{4800, {}, 2, 5};
  EXPECT_EQ(ApplyPortDefaults(empty, 4), 0);
  EXPECT_EQ(PortNameOf(empty), "COM4");
  EXPECT_EQ(empty.baud_rate, 9600);
  EXPECT_EQ(empty.parity, 0u);
  EXPECT_EQ(empty.data_bits, 8);

  PortSettings set{4800, "COM2", 2, 5};
  ApplyPortDefaults(set, 4);
  EXPECT_EQ(PortNameOf(set), "COM2");
  EXPECT_EQ(set.baud_rate, 4800);

  // "COM10000" and longer leave no room for the NUL: no default is cut into another port.
  for (uint16_t port : {10000, 65535}) {
    PortSettings big{4800, {}, 2, 5};
    big.port_name[7] = 'x';
    const PortSettings before = big;
    kestrum::SetErrorNumber(0);
    EXPECT_EQ(ApplyPortDefaults(big, port), -1) << port;
    EXPECT_EQ(kestrum::GetErrorNumber(), ENAMETOOLONG);
    EXPECT_EQ(std::memcmp(&big, &before, sizeof big), 0) << port;
  }
  PortSettings widest{0, {}, 0, 0};
  EXPECT_EQ(ApplyPortDefaults(widest, 9999), 0);
  EXPECT_EQ(PortNameOf(widest), "COM9999");
}

TEST(PortList, OffersShortStringValuesAndKeepsTheCurrentPort) {
  std::vector<SerialPortValue> values = {{"Serial0", "COM1"},
                                         {"Serial9", "COM10"},
                                         {"Long", "USBSER000"},
                                         {"Binary", std::nullopt},
                                         {"Alias", "TTY6ch"}};
  EXPECT_EQ(PortListItems(values, "com10"), (std::vector<std::string>{"COM1", "COM10", "TTY6ch"}));
  EXPECT_EQ(PortListItems(values, "COM7"),
            (std::vector<std::string>{"COM1", "COM10", "TTY6ch", "COM7"}));
  EXPECT_EQ(PortListItems(values, "USBSER000"),
            (std::vector<std::string>{"COM1", "COM10", "TTY6ch", "USBSER000"}));
  EXPECT_EQ(PortListItems(std::nullopt, "COM3"), (std::vector<std::string>{"COM3"}));
  EXPECT_EQ(PortListItems(std::vector<SerialPortValue>{}, "COM3"),
            (std::vector<std::string>{"COM3"}));
}

}  // namespace
}  // namespace parvex
