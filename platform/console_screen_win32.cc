#include <windows.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/console_screen.h"
#include "platform/error_number.h"

namespace kestrum {

struct ConsoleScreen::State {
  HANDLE input = nullptr;
  HANDLE output = nullptr;  // the console's own screen buffer, active again on closing
  HANDLE screen = nullptr;  // the buffer the frames are written to
  DWORD input_mode = 0;
  WORD plain = FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE;
  int rows = 0;
  int columns = 0;
  SMALL_RECT window = {};
  std::vector<CHAR_INFO> frame;
};

namespace {

WORD Foreground(ScreenColour colour, WORD plain) {
  switch (colour) {
    case ScreenColour::kRed:
      return FOREGROUND_RED;
    case ScreenColour::kYellow:
      return FOREGROUND_RED | FOREGROUND_GREEN;
    case ScreenColour::kCyan:
      return FOREGROUND_GREEN | FOREGROUND_BLUE;
    case ScreenColour::kBlue:
      return FOREGROUND_BLUE;
    case ScreenColour::kGreen:
      return FOREGROUND_GREEN;
    case ScreenColour::kDefault:
      break;
  }
  return plain & (FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
}

std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (wide <= 0) return std::wstring(text.begin(), text.end());
  std::wstring out(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), wide);
  return out;
}

}  // namespace

std::unique_ptr<ConsoleScreen> ConsoleScreen::Open() {
  auto state = std::make_unique<State>();
  state->input = GetStdHandle(STD_INPUT_HANDLE);
  state->output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD output_mode = 0;
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleMode(state->input, &state->input_mode) ||
      !GetConsoleMode(state->output, &output_mode) ||
      !GetConsoleScreenBufferInfo(state->output, &info)) {
    SetErrorNumber(ENOTTY);
    return nullptr;
  }
  state->plain = info.wAttributes;
  state->screen =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (state->screen == INVALID_HANDLE_VALUE) {
    FailFromLastError();
    return nullptr;
  }
  // Keys come one by one without echo; Ctrl+C stays a control event (the stop request).
  const DWORD mode = (state->input_mode | ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT) &
                     ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_MOUSE_INPUT);
  CONSOLE_CURSOR_INFO cursor = {1, FALSE};
  if (!SetConsoleMode(state->input, mode) || !SetConsoleCursorInfo(state->screen, &cursor) ||
      !SetConsoleActiveScreenBuffer(state->screen)) {
    FailFromLastError();
    KeepErrorNumber keep;
    SetConsoleMode(state->input, state->input_mode);
    CloseHandle(state->screen);
    return nullptr;
  }
  return std::unique_ptr<ConsoleScreen>(new ConsoleScreen(std::move(state)));
}

ConsoleScreen::ConsoleScreen(std::unique_ptr<State> state) : state_(std::move(state)) {}

ConsoleScreen::~ConsoleScreen() {
  SetConsoleActiveScreenBuffer(state_->output);
  SetConsoleMode(state_->input, state_->input_mode);
  CloseHandle(state_->screen);
}

void ConsoleScreen::BeginFrame() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(state_->screen, &info)) state_->window = info.srWindow;
  state_->rows = state_->window.Bottom - state_->window.Top + 1;
  state_->columns = state_->window.Right - state_->window.Left + 1;
  if (state_->rows < 0 || state_->columns < 0) state_->rows = state_->columns = 0;
  CHAR_INFO blank = {};
  blank.Char.UnicodeChar = L' ';
  blank.Attributes = state_->plain;
  state_->frame.assign(static_cast<std::size_t>(state_->rows) * state_->columns, blank);
}

int ConsoleScreen::rows() const { return state_->rows; }

int ConsoleScreen::columns() const { return state_->columns; }

void ConsoleScreen::Put(int row, std::string_view text, ScreenColour colour, bool bold) {
  if (row < 0 || row >= state_->rows) return;
  WORD attributes = static_cast<WORD>((state_->plain & ~0x0F) | Foreground(colour, state_->plain));
  if (bold) attributes |= FOREGROUND_INTENSITY;
  const std::wstring wide = Wide(text);
  CHAR_INFO* cells = state_->frame.data() + static_cast<std::size_t>(row) * state_->columns;
  for (std::size_t i = 0; i < wide.size() && i < static_cast<std::size_t>(state_->columns); ++i) {
    cells[i].Char.UnicodeChar = wide[i];
    cells[i].Attributes = attributes;
  }
}

void ConsoleScreen::ShowFrame() {
  if (state_->rows == 0 || state_->columns == 0) return;
  const COORD size = {static_cast<SHORT>(state_->columns), static_cast<SHORT>(state_->rows)};
  SMALL_RECT region = state_->window;
  WriteConsoleOutputW(state_->screen, state_->frame.data(), size, COORD{0, 0}, &region);
}

int ConsoleScreen::ReadKey() {
  for (;;) {
    DWORD waiting = 0;
    if (!GetNumberOfConsoleInputEvents(state_->input, &waiting) || waiting == 0) {
      return kScreenNoKey;
    }
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputW(state_->input, &record, 1, &read) || read == 0) return kScreenNoKey;
    if (record.EventType == WINDOW_BUFFER_SIZE_EVENT) return kScreenResized;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    switch (record.Event.KeyEvent.wVirtualKeyCode) {
      case VK_UP:
        return kScreenKeyUp;
      case VK_DOWN:
        return kScreenKeyDown;
      case VK_PRIOR:
        return kScreenKeyPageUp;
      case VK_NEXT:
        return kScreenKeyPageDown;
      case VK_HOME:
        return kScreenKeyHome;
      case VK_END:
        return kScreenKeyEnd;
      default:
        break;
    }
    const WCHAR c = record.Event.KeyEvent.uChar.UnicodeChar;
    if (c != 0 && c < 256) return c;
  }
}

bool ConsoleScreen::WaitForInput(int milliseconds) {
  return WaitForSingleObject(state_->input, milliseconds < 0 ? 0 : milliseconds) == WAIT_OBJECT_0;
}

}  // namespace kestrum
