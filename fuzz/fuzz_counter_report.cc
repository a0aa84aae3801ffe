// Bytes as the counter would send them, through a pseudo-terminal into the counter input's scan
// over a fixed set of channels (every field type and value type, ports 0, 1 and 255, unknown
// codes, a disabled channel). Each input is written whole and scanned until every byte is used.
// Checks that a scan touches only the channels it marks fresh.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fuzz_util.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"
#include "record_builders.h"
#include "records/channel_config.h"
#include "records/device_record.h"
#include "scanner/counter_input.h"

namespace {

// Larger inputs would not fit the terminal's receive queue in one write.
constexpr std::size_t kMaxInput = 3000;
constexpr uint32_t kUntouchedStatus = parvex::kStatusNoValue | 0x80;
constexpr float kUntouchedValue = -12345.0f;

std::vector<kestrum::ChannelConfigRecord> MakeChannels() {
  std::vector<kestrum::ChannelConfigRecord> channels;
  for (uint8_t port : {0, 1, 255}) {
    for (int value = 0; value <= kestrum::kValueTypeCount; ++value) {
      channels.push_back(parvex_test::CounterChannel(kestrum::kFieldValue, port,
                                                     static_cast<uint8_t>(value), true));
    }
  }
  for (int field : {kestrum::kFieldTime, kestrum::kFieldDate, kestrum::kFieldPort,
                    kestrum::kFieldVolume, kestrum::FieldType{200}}) {
    channels.push_back(parvex_test::CounterChannel(static_cast<uint8_t>(field), 0, 0, true));
  }
  channels.push_back(parvex_test::CounterChannel(kestrum::kFieldTime, 0, 0, false));
  return channels;
}

// The wait for bytes never sleeps: every byte is in the terminal before the scan starts, so a
// silence time-out passes at once.
int NoWait(const kestrum::SerialPort&, int ms) { return ms; }

// Reads every traced text to its end, so a text without its NUL is caught; reports nothing.
class TraceReader final : public parvex::CounterServices {
 public:
  void ReportError(const char*) override {}
  void ClearError() override {}
  void Trace(const char* text) override { (void)std::strlen(text); }
};

struct Line {
  kestrum::PseudoTerminal pty;
  kestrum::DeviceRecord device;

  Line() {
    parvex_fuzz::Instance();
    parvex_fuzz::Check(pty.Create(/*raw=*/true) == 0, "pseudo-terminal");
    parvex_fuzz::Check(kestrum::PublishPortAlias("COM7", pty.slave_path()) == 0, "port alias");
    device = parvex_test::CounterDeviceRecord("COM7", 7);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static Line line;
  static const std::vector<kestrum::ChannelConfigRecord> channels = MakeChannels();
  if (size > kMaxInput) size = kMaxInput;

  parvex::CounterInput input(NoWait);
  static TraceReader services;
  input.set_services(&services);
  parvex_fuzz::Check(input.OpenPort(&line.device) == 0, "open port");
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  parvex_fuzz::Check(line.pty.Write(bytes) == 0, "write to the terminal");
  // Wait (bounded) until the terminal has handed every byte to the slave side.
  for (int i = 0; i < 20000 && input.link().BytesWaiting() < static_cast<int>(size); ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  parvex_fuzz::Check(input.link().BytesWaiting() == static_cast<int>(size), "bytes arrived");

  const std::size_t n = channels.size();
  std::vector<uint32_t> status(n);
  std::vector<float> values(n);
  std::vector<uint8_t> fresh(n);
  for (std::size_t scans = 0; scans <= size; ++scans) {
    if (input.link().buffered() == 0 && input.link().BytesWaiting() <= 0) break;
    status.assign(n, kUntouchedStatus);
    values.assign(n, kUntouchedValue);
    input.Scan(
        {static_cast<uint16_t>(n), channels.data(), status.data(), values.data(), fresh.data()});
    for (std::size_t i = 0; i < n; ++i) {
      if (fresh[i] == 0) {
        parvex_fuzz::Check(status[i] == kUntouchedStatus, "status of a channel not written");
        parvex_fuzz::Check(std::memcmp(&values[i], &kUntouchedValue, sizeof(float)) == 0,
                           "value of a channel not written");
      } else {
        parvex_fuzz::Check(fresh[i] == 1, "fresh flag is 0 or 1");
        parvex_fuzz::Check(status[i] == 0x80, "a written channel loses only the no-value bit");
      }
    }
  }
  parvex_fuzz::Check(input.link().buffered() == 0, "every byte was used");
  input.ClosePort();
  return 0;
}
