// The whole scan cycle of the scanner over 1000 analog inputs in a real instance: the scan
// handler's readings, the channel state evaluation, the event batch and the publication into
// the channel table under its lock, with the subscribers' notification. Items are channels, so
// the time per item is the cost per channel, publication included.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "records/channel_config.h"
#include "records/device_record.h"
#include "runtime/system_areas.h"
#include "runtime/time_stamps.h"
#include "scanner/scanner.h"
#include "tools/dm/instance.h"
#include "tools/dm/system_description.h"

namespace {

namespace fs = std::filesystem;
namespace af = kestrum::analogue_flags;
constexpr int kChannels = 1000;

std::vector<float> g_readings(kChannels, 50.0f);

int BenchScan(const kestrum::DeviceConfigBlock*, uint16_t count,
              const kestrum::ChannelConfigRecord*, uint32_t* status, float* readings) {
  std::memcpy(readings, g_readings.data(), sizeof(float) * count);
  for (uint16_t i = 0; i < count; ++i) status[i] &= ~kestrum::kStatusNoValue;
  return 0;
}

kestrum::TimeStamp Now() { return kestrum::LocalTimeNow(); }
int NoHold(int) { return 0; }
int NoWait(uint32_t) { return 0; }
void NoReport(const char*) {}
void NoClear() {}

// A temporary instance with one device of 1000 analog inputs, and its scanner.
class Rig {
 public:
  Rig() {
    char pattern[] = "/tmp/parvex-bench-XXXXXX";
    root_ = mkdtemp(pattern);
    setenv("KESTRUM_RUNDIR", (root_ / "run").c_str(), 1);
    setenv("KESTRUM_REGISTRY", (root_ / "registry").c_str(), 1);
    setenv("KSM_SAVED_VALUES", root_.c_str(), 1);
    kestrum::dm::SystemDescription system;
    std::string error;
    kestrum::dm::ParseSystemDescription(
        R"({"devices": [{"driver": "parvex", "number": 1, "folder": "CNT1",
            "prefixes": {"ai": {"prefix": "P1", "channels": 1000}}}]})",
        &system, &error);
    kestrum::dm::CreateInstance(system, &error);
    WriteFolder();
    fs::current_path(root_ / "CNT1");
    device_ = kestrum::FindDeviceRecord("parvex", 1);
    kestrum::SystemArea devices;
    kestrum::OpenDeviceArea(&devices);
    parvex::ScannerHooks hooks{Now, NoHold, NoWait, NoWait, NoReport, NoClear};
    parvex::DeviceHandlers handlers;
    handlers.scan[kestrum::kKindAnalogInput] = BenchScan;
    scanner_ = std::make_unique<parvex::Scanner>(device_, devices.area, &words_, hooks, handlers);
    ok_ = scanner_->StartUp() == 0 && scanner_->InitialiseDevice(0) == 1;
  }
  ~Rig() {
    scanner_.reset();
    fs::current_path("/");
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  bool ok() const { return ok_; }
  parvex::Scanner& scanner() { return *scanner_; }

 private:
  void WriteFolder() {
    fs::create_directories(root_ / "CNT1");
    kestrum::DeviceConfigFile config;
    std::memset(&config, 0, sizeof config);
    std::ofstream(root_ / "CNT1" / "config", std::ios::binary)
        .write(reinterpret_cast<const char*>(&config), sizeof config);
    kestrum::SaveConfigFile save{0, 0, 0};
    std::ofstream(root_ / "CNT1" / "saveconfig", std::ios::binary)
        .write(reinterpret_cast<const char*>(&save), sizeof save);
    std::vector<kestrum::ChannelConfigRecord> records(kChannels);
    for (auto& r : records) {
      std::memset(&r, 0, sizeof r);
      kestrum::AnalogueChannelConfig& a = r.analogue;
      a.Type = kestrum::kTypeAI;
      a.flags = af::kEnable | af::kScalingEnable | af::kSigChangeEnable | af::kHighAlarmEnable |
                af::kHighWarningEnable | af::kLowAlarmEnable | af::kEventEnable;
      a.Gain = 1;
      a.SigChangeValue = 0.5f;
      a.HighAlarmLimit = 1e6f;
      a.HighWarningLimit = 1e5f;
      a.LowAlarmLimit = -1e6f;
      a.HighEventLimit = 1e6f;
      a.LowEventLimit = -1e6f;
    }
    std::ofstream ai(root_ / "CNT1" / "ai", std::ios::binary);
    const char stamp[8] = {};
    ai.write(stamp, sizeof stamp);
    ai.write(reinterpret_cast<const char*>(records.data()), records.size() * sizeof records[0]);
  }

  fs::path root_;
  parvex::RequestWords words_;
  kestrum::DeviceRecord* device_ = nullptr;
  std::unique_ptr<parvex::Scanner> scanner_;
  bool ok_ = false;
};

void BM_ScanUnchangedChannels(benchmark::State& state) {
  Rig rig;
  if (!rig.ok()) return state.SkipWithError("instance");
  rig.scanner().Scan(false);
  for (auto _ : state) rig.scanner().Scan(false);
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_ScanUnchangedChannels);

void BM_ScanChangedChannels(benchmark::State& state) {
  Rig rig;
  if (!rig.ok()) return state.SkipWithError("instance");
  float level = 50.0f;
  for (auto _ : state) {
    level = level == 50.0f ? 51.0f : 50.0f;
    std::fill(g_readings.begin(), g_readings.end(), level);
    rig.scanner().Scan(false);
  }
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_ScanChangedChannels);

}  // namespace

BENCHMARK_MAIN();
