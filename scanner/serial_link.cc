#include "scanner/serial_link.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/error_number.h"
#include "records/fixed_text.h"
#include "runtime/driver_link.h"

namespace parvex {

int WaitForPortOrDriverMessage(const kestrum::SerialPort& port, int ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  int wake = kestrum::BeginDriverMessageWait();
  port.Poll(wake, ms);
  kestrum::EndDriverMessageWait();
  const auto waited = std::chrono::ceil<std::chrono::milliseconds>(Clock::now() - start).count();
  return static_cast<int>(std::min<long long>(waited, ms));
}

namespace {
// Longest single wait, in steps, so the milliseconds stay within an int.
constexpr int kMaxWaitSteps = 1 << 29;

// Steps begun in `ms` milliseconds (3 ms is two steps), without overflow near the largest int.
int StepsIn(int ms) { return ms / kPollStepMs + (ms % kPollStepMs != 0); }
}  // namespace

int StepsUsed(int elapsed_ms) { return std::max(1, StepsIn(elapsed_ms)); }

SerialLink::SerialLink(PortWaitFunction wait) : wait_(wait ? wait : WaitForPortOrDriverMessage) {}

int SerialLink::Open(kestrum::DeviceRecord* device) {
  port_.Close();
  kestrum::CommSettings& comm = device->config.comm;
  if (comm.PortName[0] == '\0') {
    comm.BaudRate = kestrum::kDefaultBaudRate;
    comm.Parity = kestrum::kParityNone;
    comm.DataBits = kestrum::kDefaultDataBits;
    if (!kestrum::DefaultPortName(device->device_number, comm.PortName)) {
      return kestrum::FailWith(ENAMETOOLONG);
    }
  }
  std::string_view name = kestrum::FixedText(comm.PortName);
  kestrum::SerialSettings settings;
  settings.baud_rate = comm.BaudRate;
  settings.parity = static_cast<int>(comm.Parity & 0xFF);
  settings.data_bits = comm.DataBits & 0xFF;
  return port_.Open(name, settings);
}

int SerialLink::WaitForBytes(int timeout_ms) {
  int waiting = port_.BytesWaiting();
  // The steps a loop of 2-ms waits would make.
  int steps = timeout_ms > 0 ? StepsIn(timeout_ms) : 0;
  // A failed query (a hung-up or closed port) does not get better by waiting.
  while (waiting == 0 && steps > 0) {
    steps -= StepsUsed(wait_(port_, std::min(steps, kMaxWaitSteps) * kPollStepMs));
    waiting = port_.BytesWaiting();
  }
  return waiting;
}

int SerialLink::Refill(int timeout_ms) {
  int waiting = WaitForBytes(timeout_ms);
  if (waiting < 1) return -1;
  long got = port_.Read(buffer_, static_cast<std::size_t>(std::min(waiting, kReceiveBufferSize)));
  if (got < 1) return -2;
  fill_ = static_cast<int>(got);
  position_ = 0;
  return 0;
}

int SerialLink::ReadUntil(char* dest, char terminator, int capacity, int timeout_ms) {
  capacity = std::max(capacity, 0);
  std::memset(dest, 0, static_cast<std::size_t>(capacity));
  int copied = 0;
  for (;;) {
    if (position_ == fill_ && Refill(timeout_ms) != 0) return copied;
    int chunk = std::min(fill_ - position_, capacity - copied);
    char* start = dest + copied;
    std::memcpy(start, buffer_ + position_, static_cast<std::size_t>(chunk));
    for (int j = 0; j < chunk && start[j] != '\0'; ++j) {
      if (start[j] != terminator) continue;
      position_ += j + 1;
      copied += j + 1;
      std::memset(dest + copied, 0, static_cast<std::size_t>(capacity - copied));
      return copied;
    }
    position_ += chunk;
    copied += chunk;
    if (copied == capacity) return capacity;
  }
}

}  // namespace parvex
