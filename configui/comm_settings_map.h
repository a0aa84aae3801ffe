// What the Advanced dialog shows and stores: the fixed list items, the mapping between stored
// communication settings and list positions, and the Port list's contents. Free of any
// toolkit so that it can be checked on its own.
#ifndef PARVEX_CONFIGUI_COMM_SETTINGS_MAP_H_
#define PARVEX_CONFIGUI_COMM_SETTINGS_MAP_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parvex {

/// The 20 bytes of a device's communication settings the Advanced dialog edits, in their stored
/// order and widths.
struct PortSettings {
  int32_t baud_rate;
  char port_name[8];
  uint32_t parity;
  int32_t data_bits;
};
static_assert(sizeof(PortSettings) == 20);

inline constexpr std::array<const char*, 5> kBaudRateItems = {"300", "1200", "9600", "19200",
                                                              "38400"};
inline constexpr std::array<const char*, 5> kParityItems = {"None", "Odd", "Even", "Space", "Mark"};
inline constexpr std::array<const char*, 4> kDataBitsItems = {"5", "6", "7", "8"};

/// List position of a stored baud rate; rates not in the list show as 38400 (position 4).
int BaudRatePosition(int32_t baud_rate);
/// Baud rate stored for a list position; position 4, no selection (-1) and others give 38400.
int32_t BaudRateAt(int position);
/// List position of a stored parity: mark (3) is position 4, space (4) and unknown values 3.
int ParityPosition(uint32_t parity);
/// Parity stored for a list position: 3 (Space) gives 4, 4 and no selection give 3 (mark).
uint32_t ParityAt(int position);
/// List position of stored data bits; values outside 5 to 7 show as 8 (position 3).
int DataBitsPosition(int32_t data_bits);
/// Data bits stored for a list position; anything but 0..2 gives 8.
int32_t DataBitsAt(int position);

/// Returns the port name of `settings` (up to its NUL or 8 characters).
std::string PortNameOf(const PortSettings& settings);

/// Stores `name` (at most 7 characters are kept) NUL-padded into `settings`.
void SetPortName(PortSettings& settings, std::string_view name);

/// Fills an empty port name with the defaults "COM<default_port>", 9600 baud, no parity and
/// 8 data bits; settings with a port name are left as they are. Returns 0, or -1 with error
/// number ENAMETOOLONG, changing nothing, when the default name does not fit the port name.
int ApplyPortDefaults(PortSettings& settings, uint16_t default_port);

/// Takes the Port list's chosen text (nullopt: nothing chosen, the name stays) into the port
/// name. The list holds texts of at most 6 characters or the current name. The current name
/// keeps its stored bytes (it may fill all eight without a NUL); another text is written with
/// its NUL over the name's first bytes, as the list box copies it.
void TakeChosenPortName(PortSettings& settings, const std::optional<std::string>& chosen);

/// OK's store: copies `work` over the 20 stored bytes at `stored` when they differ. Returns the
/// changed flag's new value: 1 after a copy, 0 when nothing differed.
int32_t StorePortSettings(const PortSettings& work, uint8_t* stored);

/// One value of the registry's serial port key: its data when it is a string value.
struct SerialPortValue {
  std::string name;
  std::optional<std::string> text;  ///< empty for values that are not strings
};

/// The Port list's texts before sorting: every string value of at most 6 characters, and
/// `current` when none of them equals it ignoring case. `current` alone when the registry
/// could not be read (`values` absent).
std::vector<std::string> PortListItems(const std::optional<std::vector<SerialPortValue>>& values,
                                       std::string_view current);

}  // namespace parvex

#endif  // PARVEX_CONFIGUI_COMM_SETTINGS_MAP_H_
