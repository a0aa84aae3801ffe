// A full-screen character view: lines of text in a few colours, drawn as whole frames, and the
// keys the user presses.
//
// On Linux it is the terminal through ncurses. On Windows it is the console: a screen buffer of
// its own (the console's own buffer comes back untouched on closing), written one frame at a
// time with WriteConsoleOutput, and the console's input events.
#ifndef PARVEX_PLATFORM_CONSOLE_SCREEN_H_
#define PARVEX_PLATFORM_CONSOLE_SCREEN_H_

#include <memory>
#include <string_view>

namespace kestrum {

/// The colours of a line's text; kDefault is the terminal's own.
enum class ScreenColour { kDefault, kRed, kYellow, kCyan, kBlue, kGreen };

/// ReadKey's answer for keys that are not characters (a character key is its code, below 256),
/// and for no key at all.
enum ScreenKey : int {
  kScreenNoKey = -1,
  kScreenKeyUp = 0x101,
  kScreenKeyDown,
  kScreenKeyPageUp,
  kScreenKeyPageDown,
  kScreenKeyHome,
  kScreenKeyEnd,
  kScreenResized,  ///< not a key: the terminal changed its size
};

class ConsoleScreen {
 public:
  /// Takes over the terminal: a screen of its own, keys without echo and without waiting for
  /// Enter, no cursor. Standard input and standard output must both be the terminal (the
  /// console on Windows). Returns the screen, or null with the error number set (ENOTTY when
  /// they are not). One screen at a time.
  static std::unique_ptr<ConsoleScreen> Open();

  /// Gives the terminal back as it was.
  ~ConsoleScreen();
  ConsoleScreen(const ConsoleScreen&) = delete;
  ConsoleScreen& operator=(const ConsoleScreen&) = delete;

  /// Starts an empty frame of the terminal's present size.
  void BeginFrame();

  /// The size of the frame started last.
  int rows() const;
  int columns() const;

  /// Writes `text` (bytes as they are on Linux, UTF-8 on Windows) from the start of `row`, cut
  /// at the frame's width; bold is the brighter form on Windows. Rows outside the frame are
  /// ignored.
  void Put(int row, std::string_view text, ScreenColour colour, bool bold);

  /// Shows the frame.
  void ShowFrame();

  /// The next key pressed, without waiting: a character code, a ScreenKey, or kScreenNoKey.
  /// Other input (key releases, mouse, focus) is taken and passed over.
  int ReadKey();

  /// Waits at most `milliseconds` for input. Returns true when some is waiting.
  bool WaitForInput(int milliseconds);

 private:
  struct State;
  explicit ConsoleScreen(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_CONSOLE_SCREEN_H_
