// parvex_cf.dll's two dialogs as a host sees them: the DLL loaded by name, each dialog opened
// through its export and driven with the messages and keys a user's actions send, then the
// host's record compared byte for byte.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "configui/parvex_cf.h"

namespace {

// ---- Driving a modal dialog from inside its own thread ----
//
// A hook sees the thread's first dialog as it is initialised; a timer on it then plays the
// case's steps, one per tick, inside the dialog's own modal loop (and inside any message box the
// dialog opens, whose loop dispatches the same timer).

struct Step {
  enum Kind {
    kSelect,     // choose list position `value` of combo box `id`, as a mouse pick does
    kSetText,    // replace the text of control `id`
    kKey,        // press key `value` in the focused control
    kClick,      // click button `id`
    kLook,       // note what the dialog shows
    kLookFocus,  // note which control has the focus
    kAnswerBox   // note the message box's text and press Enter in it
  } kind;
  int id = 0;
  int value = 0;
  const char* text = "";
};

Step Select(int id, int position) { return {Step::kSelect, id, position}; }
Step SetText(int id, const char* text) { return {Step::kSetText, id, 0, text}; }
Step Key(int key) { return {Step::kKey, 0, key}; }
Step Click(int id) { return {Step::kClick, id}; }
Step Look() { return {Step::kLook}; }
Step LookFocus() { return {Step::kLookFocus}; }
Step AnswerBox() { return {Step::kAnswerBox}; }

struct Driver {
  std::vector<Step> steps;
  std::vector<int> looked_at;  // the controls a look describes
  std::vector<int> listed;     // the combo boxes whose items a look names
  size_t next = 0;
  HWND dialog = nullptr;
  int idle_ticks = 0;
  std::vector<std::string> seen;  // what each look and message box showed
};

Driver* g_driver = nullptr;
constexpr UINT_PTR kDriverTimer = 0x5EED;
constexpr int kIdleTicksBeforeGivingUp = 100;

std::string ComboText(HWND combo, LRESULT at) {
  LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, at, 0);
  if (at < 0 || length < 0) return "";
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return text;
}

// "id=text" per control, a combo box's shown item (and its items in brackets when `listed`
// names it), "(off)" after a disabled control.
std::string Describe(HWND dialog, const std::vector<int>& ids, const std::vector<int>& listed) {
  char caption[64] = {};
  GetWindowTextA(dialog, caption, sizeof caption);
  std::string out = caption;
  for (int id : ids) {
    HWND control = GetDlgItem(dialog, id);
    char window_class[32] = {};
    GetClassNameA(control, window_class, sizeof window_class);
    out += " " + std::to_string(id) + "=";
    if (lstrcmpiA(window_class, "ComboBox") == 0) {
      out += ComboText(control, SendMessageA(control, CB_GETCURSEL, 0, 0));
      if (std::find(listed.begin(), listed.end(), id) != listed.end()) {
        out += "[";
        LRESULT count = SendMessageA(control, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) out += (i ? "," : "") + ComboText(control, i);
        out += "]";
      }
    } else {
      char text[64] = {};
      GetWindowTextA(control, text, sizeof text);
      out += text;
    }
    if (!IsWindowEnabled(control)) out += "(off)";
  }
  return out;
}

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
  char window_class[16] = {};
  GetClassNameA(window, window_class, sizeof window_class);
  if (window != g_driver->dialog && IsWindowVisible(window) &&
      std::strcmp(window_class, "#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void Play(const Step& step) {
  HWND dialog = g_driver->dialog;
  HWND control = GetDlgItem(dialog, step.id);
  switch (step.kind) {
    case Step::kSelect:
      SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(step.value), 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(step.id, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(control));
      break;
    case Step::kSetText:
      SetWindowTextA(control, step.text);
      break;
    case Step::kKey: {
      HWND focus = GetFocus();
      PostMessageA(focus ? focus : dialog, WM_KEYDOWN, static_cast<WPARAM>(step.value), 1);
      break;
    }
    case Step::kClick:
      PostMessageA(control, BM_CLICK, 0, 0);
      break;
    case Step::kLook:
      g_driver->seen.push_back(Describe(dialog, g_driver->looked_at, g_driver->listed));
      break;
    case Step::kLookFocus:
      g_driver->seen.push_back("focus " + std::to_string(GetDlgCtrlID(GetFocus())));
      break;
    case Step::kAnswerBox: {
      HWND box = nullptr;
      EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
      if (box == nullptr) {
        g_driver->seen.push_back("no message box");
        break;
      }
      char text[128] = {};
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message box's text control
      g_driver->seen.push_back(std::string("message: ") + text);
      PostMessageA(box, WM_KEYDOWN, VK_RETURN, 1);
      break;
    }
  }
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_driver->next < g_driver->steps.size()) {
    Play(g_driver->steps[g_driver->next++]);
  } else if (++g_driver->idle_ticks == kIdleTicksBeforeGivingUp) {
    g_driver->seen.push_back("left open");
    PostMessageA(g_driver->dialog, WM_COMMAND, IDCANCEL, 0);
  }
}

LRESULT CALLBACK WatchDialogs(int code, WPARAM wparam, LPARAM lparam) {
  const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
  if (code == HC_ACTION && message->message == WM_INITDIALOG && g_driver->dialog == nullptr) {
    g_driver->dialog = message->hwnd;
    SetTimer(message->hwnd, kDriverTimer, 20, Tick);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Runs `open` (which shows a modal dialog) with `driver` playing its steps; returns what the
// driver saw.
template <typename Open>
std::vector<std::string> Drive(Driver driver, Open open) {
  g_driver = &driver;
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchDialogs, nullptr, GetCurrentThreadId());
  open();
  UnhookWindowsHookEx(hook);
  g_driver = nullptr;
  if (driver.dialog == nullptr) driver.seen.push_back("no dialog");
  return driver.seen;
}

// ---- The DLL and the registry it lists serial ports from ----

using AdvanFn = void (*)(HWND, ParvexDeviceEntry*, int32_t*);
using ChanFn = void (*)(HWND, int32_t, int32_t, int32_t, ParvexChannelRecord*, int32_t*);
using SetPortFn = void (*)(uint16_t);

template <typename F>
F Entry(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The test's own HKEY_LOCAL_MACHINE: a fresh key of the current user stands in for the hive in
// this process, holding the serial port key the Port list comes from.
constexpr const char* kTestHive = "Software\\parvex-cf-dialog-test";

class DialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestHive);
    HKEY hive = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestHive, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &hive, nullptr),
              ERROR_SUCCESS);
    HKEY ports = nullptr;
    ASSERT_EQ(RegCreateKeyExA(hive, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &ports, nullptr),
              ERROR_SUCCESS);
    for (auto [name, port] : {std::pair{"\\Device\\Serial0", "COM1"},
                              {"\\Device\\Serial2", "COM3"},
                              {"\\Device\\Serial9", "COM10"},
                              {"\\Device\\UsbSer000", "USBSER000"}}) {
      RegSetValueExA(ports, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                     static_cast<DWORD>(std::strlen(port) + 1));
    }
    DWORD number = 5;
    RegSetValueExA(ports, "NotAString", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(ports);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, hive), ERROR_SUCCESS);
    RegCloseKey(hive);
    module_ = LoadLibraryA("parvex_cf.dll");
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  static void TearDownTestSuite() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestHive);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestHive);
  }
  static HMODULE module_;
};
HMODULE DialogsTest::module_ = nullptr;

// Bytes that no dialog writes, so that a write beyond the edited fields shows.
template <typename T>
void FillPattern(T& value) {
  auto* bytes = reinterpret_cast<uint8_t*>(&value);
  for (size_t i = 0; i < sizeof value; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
}

std::string Bytes(const void* data, size_t size) {
  return std::string(static_cast<const char*>(data), size);
}

struct CommValues {
  int32_t baud;
  const char* port;  // written with its NUL over the pattern; "" clears the whole name
  uint32_t parity;
  int32_t data_bits;
};

void Put(ParvexDeviceEntry& entry, const CommValues& v) {
  ParvexCommSettings& comm = entry.Config.Comm;
  comm.BaudRate = v.baud;
  if (*v.port == '\0') std::memset(comm.PortName, 0, sizeof comm.PortName);
  std::memcpy(comm.PortName, v.port, std::strlen(v.port) + 1);
  comm.Parity = v.parity;
  comm.DataBits = v.data_bits;
}

TEST_F(DialogsTest, AdvancedDialogShowsTheStoredSettingsAndStoresOnlyOnOk) {
  const auto advan = Entry<AdvanFn>(module_, "DLL_ConfigAdvanDevSpecific");
  const auto set_port = Entry<SetPortFn>(module_, "DLL_SetDefaultComPort");
  ASSERT_TRUE(advan && set_port);
  constexpr int kEnter = VK_RETURN;
  constexpr int kEscape = VK_ESCAPE;
  const std::string ports = "[COM1,COM10,COM3]";
  struct Case {
    const char* name;
    int default_port;  // handed over before the dialog; -1: never handed over yet
    CommValues stored;
    std::vector<Step> steps;
    std::vector<std::string> seen;
    CommValues expected;  // the whole entry is the stored one but for these fields
    int32_t changed;
  };
  // The first case runs before the host hands over a default port.
  const Case cases[] = {
      {"no port, no default handed over: the device number",
       -1,
       {0, "", 0, 0},
       {Look(), Key(kEnter)},
       {"Advanced 601=COM6[COM1,COM10,COM3,COM6] 602=9600[300,1200,9600,19200,38400] "
        "603=None[None,Odd,Even,Space,Mark] 604=8[5,6,7,8]"},
       {9600, "COM6", 0, 8},
       1},
      {"no port: the host's default, stored even without a change",
       4,
       {0, "", 0, 0},
       {Look(), Key(kEnter)},
       {"Advanced 601=COM4[COM1,COM10,COM3,COM4] 602=9600 603=None 604=8"},
       {9600, "COM4", 0, 8},
       1},
      {"OK without a change",
       4,
       {9600, "COM3", 0, 8},
       {Look(), Click(IDOK)},
       {"Advanced 601=COM3" + ports + " 602=9600 603=None 604=8"},
       {9600, "COM3", 0, 8},
       0},
      {"Escape after choices stores nothing",
       4,
       {1200, "COM3", 1, 7},
       {Select(603, 0), Select(601, 0), Key(kEscape)},
       {},
       {1200, "COM3", 1, 7},
       77},
      {"Cancel stores nothing",
       4,
       {1200, "COM3", 1, 7},
       {Select(602, 4), Click(IDCANCEL)},
       {},
       {1200, "COM3", 1, 7},
       77},
      {"mark and space keep their codes",
       4,
       {300, "COM1", 3, 5},
       {Look(), Key(kEnter)},
       {"Advanced 601=COM1" + ports + " 602=300 603=Mark 604=5"},
       {300, "COM1", 3, 5},
       0},
      {"a registered port matches ignoring case",
       4,
       {19200, "com10", 4, 6},
       {Look(), Key(kEnter)},
       {"Advanced 601=COM10" + ports + " 602=19200 603=Space 604=6"},
       {19200, "COM10", 4, 6},
       1},
      {"an unregistered port stays choosable; unlisted values fall back",
       4,
       {4800, "COM7", 9, 9},
       {Look(), Key(kEnter)},
       {"Advanced 601=COM7[COM1,COM10,COM3,COM7] 602=38400 603=Space 604=8"},
       {38400, "COM7", 4, 8},
       1},
      {"Tab goes round the lists and the buttons",
       4,
       {9600, "COM3", 0, 8},
       {LookFocus(), Key(VK_TAB), LookFocus(), Key(VK_TAB), LookFocus(), Key(VK_TAB), LookFocus(),
        Key(VK_TAB), LookFocus(), Key(VK_TAB), LookFocus(), Key(VK_TAB), LookFocus(), Key(kEscape)},
       {"focus 601", "focus 602", "focus 603", "focus 604", "focus 1", "focus 2", "focus 601"},
       {9600, "COM3", 0, 8},
       77},
      {"chosen positions store their values",
       4,
       {9600, "COM7", 0, 8},
       {Select(601, 0), Select(602, 3), Select(603, 3), Select(604, 2), Click(IDOK)},
       {},
       {19200, "COM1", 4, 7},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.default_port >= 0) set_port(static_cast<uint16_t>(c.default_port));
    ParvexDeviceEntry entry;
    FillPattern(entry);
    entry.DeviceNumber = 6;
    Put(entry, c.stored);
    ParvexDeviceEntry expected = entry;
    Put(expected, c.expected);
    int32_t changed = 77;
    // The fixed lists' items are named once; the Port list's every time.
    std::vector<int> listed =
        &c == &cases[0] ? std::vector<int>{601, 602, 603, 604} : std::vector<int>{601};
    Driver driver{c.steps, {601, 602, 603, 604}, listed};
    std::vector<std::string> seen = Drive(driver, [&] { advan(nullptr, &entry, &changed); });
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(Bytes(&entry, sizeof entry), Bytes(&expected, sizeof expected));
    EXPECT_EQ(changed, c.changed);
  }
}

TEST_F(DialogsTest, ChannelDialogStoresTheValueSourceOnOkAndRefusesABadPort) {
  const auto chan = Entry<ChanFn>(module_, "DLL_ConfigChanDevSpecific");
  ASSERT_TRUE(chan);
  constexpr int kEnter = VK_RETURN;
  const char* message = "message: Please enter an integer between 0 and 255.";
  struct Case {
    const char* name;
    uint8_t stored[3];  // bytes 188..190
    std::vector<Step> steps;
    std::vector<std::string> seen;
    uint8_t expected[3];
    int32_t changed;
  };
  const Case cases[] = {
      {"VALUE unchanged: nothing stored, the flag untouched",
       {0, 3, 6},
       {Look(), Key(kEnter)},
       {"Channel 1000=VALUE[VALUE,TIME,DATE,PORT,VOLUME] 1001=3 "
        "1002=RH[0.3-0.5,0.5-1.0,1.0-5.0,5.0-10,10-25,>25,RH,TEMP,FLOW] 1003=Field Type "
        "1004=ValueType 1005=PORT"},
       {0, 3, 6},
       77},
      {"TIME: controls off, OK stores all three",
       {1, 9, 2},
       {Look(), Click(IDOK)},
       {"Channel 1000=TIME 1001=9(off) 1002=1.0-5.0(off) 1003=Field Type 1004=ValueType(off) "
        "1005=PORT(off)"},
       {1, 9, 2},
       1},
      {"TIME to VALUE: controls on at once, stored",
       {1, 9, 2},
       {Select(1000, 0), Look(), Key(kEnter)},
       {"Channel 1000=VALUE 1001=9 1002=1.0-5.0 1003=Field Type 1004=ValueType 1005=PORT"},
       {0, 9, 2},
       1},
      {"VALUE to TIME: controls off at once, their values kept; Cancel stores nothing",
       {0, 3, 6},
       {Select(1000, 1), Look(), Click(IDCANCEL)},
       {"Channel 1000=TIME 1001=3(off) 1002=RH(off) 1003=Field Type 1004=ValueType(off) "
        "1005=PORT(off)"},
       {0, 3, 6},
       77},
      {"Tab passes the Field Type list by; Enter on Cancel cancels",
       {0, 3, 6},
       {LookFocus(), Key(VK_TAB), LookFocus(), Key(VK_TAB), LookFocus(), Key(VK_TAB), LookFocus(),
        Key(VK_TAB), LookFocus(), Key(VK_TAB), SetText(1001, "9"), Key(kEnter)},
       {"focus 1", "focus 2", "focus 1001", "focus 1002", "focus 1"},
       {0, 3, 6},
       77},
      {"a new port and value type",
       {0, 3, 6},
       {SetText(1001, " 255 "), Select(1002, 8), Click(IDOK)},
       {},
       {0, 255, 8},
       1},
      {"port 0", {0, 3, 6}, {SetText(1001, "0"), Click(IDOK)}, {}, {0, 0, 6}, 1},
      {"port 256 refused: the dialog stays open, then Escape",
       {0, 3, 6},
       {SetText(1001, "256"), Click(IDOK), AnswerBox(), Look(), Key(VK_ESCAPE)},
       {message, "Channel 1000=VALUE 1001=256 1002=RH 1003=Field Type 1004=ValueType 1005=PORT"},
       {0, 3, 6},
       77},
      {"port -1 refused, corrected, stored",
       {0, 3, 6},
       {SetText(1001, "-1"), Key(kEnter), AnswerBox(), SetText(1001, "12"), Click(IDOK)},
       {message},
       {0, 12, 6},
       1},
      {"a refused port keeps the enable state when the field type changes",
       {0, 3, 6},
       {SetText(1001, "x"), Select(1000, 2), AnswerBox(), Look(), Click(IDCANCEL)},
       {message, "Channel 1000=DATE 1001=x 1002=RH 1003=Field Type 1004=ValueType 1005=PORT"},
       {0, 3, 6},
       77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ParvexChannelRecord record;
    FillPattern(record);
    std::memcpy(record.Bytes + 188, c.stored, 3);
    ParvexChannelRecord expected = record;
    std::memcpy(expected.Bytes + 188, c.expected, 3);
    int32_t changed = 77;
    // The fixed lists' items are named once.
    std::vector<int> listed = &c == &cases[0] ? std::vector<int>{1000, 1002} : std::vector<int>{};
    Driver driver{c.steps, {1000, 1001, 1002, 1003, 1004, 1005}, listed};
    std::vector<std::string> seen =
        Drive(driver, [&] { chan(nullptr, -1, 12345, 0, &record, &changed); });
    EXPECT_EQ(seen, c.seen);
    EXPECT_EQ(Bytes(&record, sizeof record), Bytes(&expected, sizeof expected));
    EXPECT_EQ(changed, c.changed);
  }
}

}  // namespace
