#include "platform/console_screen.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

#include "platform/error_number.h"

namespace kestrum {

struct ConsoleScreen::State {
  int rows = 0;
  int columns = 0;
};

namespace {

// Colour pairs are numbered by ScreenColour; pair 0 is the terminal's own.
void StartColours() {
  if (!has_colors()) return;
  start_color();
  use_default_colors();
  init_pair(static_cast<short>(ScreenColour::kRed), COLOR_RED, -1);
  init_pair(static_cast<short>(ScreenColour::kYellow), COLOR_YELLOW, -1);
  init_pair(static_cast<short>(ScreenColour::kCyan), COLOR_CYAN, -1);
  init_pair(static_cast<short>(ScreenColour::kBlue), COLOR_BLUE, -1);
  init_pair(static_cast<short>(ScreenColour::kGreen), COLOR_GREEN, -1);
}

}  // namespace

std::unique_ptr<ConsoleScreen> ConsoleScreen::Open() {
  // initscr ends the process when it cannot use the terminal: ask first.
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    SetErrorNumber(ENOTTY);
    return nullptr;
  }
  if (initscr() == nullptr) {
    SetErrorNumber(ENOTTY);
    return nullptr;
  }
  cbreak();
  noecho();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  curs_set(0);
  StartColours();
  return std::unique_ptr<ConsoleScreen>(new ConsoleScreen(std::make_unique<State>()));
}

ConsoleScreen::ConsoleScreen(std::unique_ptr<State> state) : state_(std::move(state)) {}

ConsoleScreen::~ConsoleScreen() { endwin(); }

void ConsoleScreen::BeginFrame() {
  erase();
  state_->rows = LINES;
  state_->columns = COLS;
}

int ConsoleScreen::rows() const { return state_->rows; }

int ConsoleScreen::columns() const { return state_->columns; }

void ConsoleScreen::Put(int row, std::string_view text, ScreenColour colour, bool bold) {
  if (row < 0 || row >= state_->rows) return;
  attrset(A_NORMAL);
  if (colour != ScreenColour::kDefault && has_colors()) {
    attron(COLOR_PAIR(static_cast<short>(colour)));
  }
  if (bold) attron(A_BOLD);
  const int length = static_cast<int>(std::min<std::size_t>(text.size(), state_->columns));
  mvaddnstr(row, 0, text.data(), length);
  attrset(A_NORMAL);
}

void ConsoleScreen::ShowFrame() { refresh(); }

int ConsoleScreen::ReadKey() {
  for (;;) {
    const int key = getch();
    switch (key) {
      case ERR:
        return kScreenNoKey;
      case KEY_UP:
        return kScreenKeyUp;
      case KEY_DOWN:
        return kScreenKeyDown;
      case KEY_PPAGE:
        return kScreenKeyPageUp;
      case KEY_NPAGE:
        return kScreenKeyPageDown;
      case KEY_HOME:
        return kScreenKeyHome;
      case KEY_END:
        return kScreenKeyEnd;
      case KEY_RESIZE:
        return kScreenResized;
      default:
        if (key >= 0 && key < 256) return key;
        break;  // another function key: passed over
    }
  }
}

bool ConsoleScreen::WaitForInput(int milliseconds) {
  pollfd input = {STDIN_FILENO, POLLIN, 0};
  return poll(&input, 1, milliseconds < 0 ? 0 : milliseconds) > 0;
}

}  // namespace kestrum
