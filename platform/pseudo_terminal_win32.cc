// The Windows half of the pseudo-terminal, for Windows programs under wine: a Linux
// pseudo-terminal held by scripts/serial-bridge.py on the Linux side, which this side asks for
// pairs, writes and links through request files in the bridge's control folder (the folder
// named by PARVEX_SERIAL_BRIDGE, reached through drive Z:). A port alias is a link in the wine
// prefix's dosdevices folder, so a SerialPort opens it as \\.\NAME.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/error_number.h"
#include "platform/pseudo_terminal.h"

namespace kestrum {
namespace {

// The environment variable that names the bridge's control folder (a Linux path).
constexpr char kBridgeVariable[] = "PARVEX_SERIAL_BRIDGE";
// Longest wait for the bridge's answer to one request.
constexpr DWORD kAnswerTimeoutMs = 10000;

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

std::atomic<unsigned> next_request{1};

// The control folder as Windows sees it, with a trailing backslash; empty without a bridge.
std::string BridgeFolder() {
  const char* dir = std::getenv(kBridgeVariable);
  if (!dir || dir[0] != '/') return {};
  std::string folder = std::string("Z:") + dir + "/";
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return folder;
}

int WriteWholeFile(const std::string& path, std::string_view bytes) {
  OwnedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return FailFromLastError();
  }
  DWORD put = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) ||
      put != bytes.size()) {
    return FailFromLastError();
  }
  return 0;
}

// Reads a whole small file; false when it is not there (yet).
bool ReadWholeFile(const std::string& path, std::string* text) {
  OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  text->clear();
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text->append(buffer, got);
  }
  return true;
}

// Sends one request (`words`, then `data` after a newline) and returns the words of the
// answer after "ok" in `*answer`. Returns 0, or -1: ENODEV without a bridge, ETIMEDOUT when
// the bridge did not answer, else the errno the bridge answered with.
int Ask(const std::string& words, std::string_view data, std::string* answer) {
  std::string folder = BridgeFolder();
  if (folder.empty()) return FailWith(ENODEV);
  std::string id = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(next_request++);
  std::string request = folder + "cmd-" + id;
  std::string temp = folder + "new-" + id;
  if (WriteWholeFile(temp, words + "\n" + std::string(data)) != 0) return -1;
  if (!MoveFileExA(temp.c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    int result = FailFromLastError();
    DeleteFileA(temp.c_str());
    return result;
  }
  std::string ack = folder + "ack-" + id;
  std::string text;
  ULONGLONG deadline = GetTickCount64() + kAnswerTimeoutMs;
  while (!ReadWholeFile(ack, &text)) {
    if (GetTickCount64() > deadline) return FailWith(ETIMEDOUT);
    Sleep(1);
  }
  DeleteFileA(ack.c_str());
  if (text.rfind("ok", 0) == 0) {
    *answer = text.size() > 3 ? text.substr(3) : std::string();
    return 0;
  }
  int error = text.rfind("error ", 0) == 0 ? std::atoi(text.c_str() + 6) : 0;
  return FailWith(error > 0 ? error : EIO);
}

// A port name travels as one word of a request: no blank, no path.
bool IsPortName(std::string_view name) {
  return !name.empty() && name.find_first_of(" \t\r\n/\\") == std::string_view::npos;
}

}  // namespace

std::string PortAliasPath(std::string_view port_name) { return "\\\\.\\" + std::string(port_name); }

int PublishPortAlias(std::string_view port_name, const std::string& target) {
  if (!IsPortName(port_name) || target.find_first_of(" \t\r\n") != std::string::npos) {
    return FailWith(EINVAL);
  }
  std::string answer;
  return Ask("link " + std::string(port_name) + " " + target, {}, &answer);
}

int RemovePortAlias(std::string_view port_name) {
  if (!IsPortName(port_name)) return FailWith(EINVAL);
  std::string answer;
  return Ask("unlink " + std::string(port_name), {}, &answer);
}

int PseudoTerminal::Create(bool raw) {
  HangUp();
  std::string answer;
  if (Ask(raw ? "open raw" : "open cooked", {}, &answer) != 0) return -1;
  std::size_t blank = answer.find(' ');
  if (blank == std::string::npos) return FailWith(EIO);
  master_ = std::atoi(answer.c_str());
  slave_path_ = answer.substr(blank + 1);
  return 0;
}

// The bridge writes everything before it answers; it drains the echo itself, so the time-out
// only bounds the wait for its answer.
int PseudoTerminal::Write(std::string_view bytes, int /*timeout_ms*/) {
  if (master_ < 0) return FailWith(EBADF);
  std::string answer;
  return Ask("write " + std::to_string(master_), bytes, &answer);
}

int PseudoTerminal::ReadLineSettings(PtyLineSettings* out) const {
  if (master_ < 0) return FailWith(EBADF);
  std::string answer;
  if (Ask("settings " + std::to_string(master_), {}, &answer) != 0) return -1;
  PtyLineSettings s;
  int flow = 0, canonical = 0;
  if (std::sscanf(answer.c_str(), "%d %d %d %d", &s.baud_rate, &s.stop_bits, &flow, &canonical) !=
      4) {
    return FailWith(EIO);
  }
  s.flow_control = flow != 0;
  s.canonical = canonical != 0;
  *out = s;
  return 0;
}

// The bridge reads and drops the echo as it comes.
void PseudoTerminal::Drain() {}

void PseudoTerminal::HangUp() {
  if (master_ >= 0) {
    KeepErrorNumber keep;
    std::string answer;
    Ask("close " + std::to_string(master_), {}, &answer);
  }
  master_ = -1;
  slave_path_.clear();
}

}  // namespace kestrum
