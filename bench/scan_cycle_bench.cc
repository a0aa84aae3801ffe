// The scanner's whole scan cycle over 1000 enabled analog-input channels with scaling,
// significant change, warnings, alarms with deadbands and events: the scan handler's readings,
// the channel state evaluation, the event counts, and the publication into the channel table
// under its lock with the subscribers notified. The scanner runs on real shared areas of an
// instance built by the driver-manager stand-in; only the serial read is replaced by a handler
// that hands over prepared readings. Items are channels, so the time per item is the cost per
// channel of a scan.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/own_process.h"
#include "record_builders.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "runtime/saved_values.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "scanner/scanner.h"
#include "tools/dm/instance.h"
#include "tools/dm/system_description.h"

namespace {

namespace fs = std::filesystem;
using kestrum::ChannelConfigRecord;

constexpr int kChannels = 1000;

// What the scan handler writes at its next call.
std::vector<float> g_readings(kChannels, 50.0f);

// Hands the analog-input kind the prepared readings; opens no port.
class PreparedReadings final : public parvex::DeviceHandlers {
 public:
  int Scan(int kind, const kestrum::DeviceConfigBlock*, uint16_t count, const ChannelConfigRecord*,
           uint32_t* status, float* readings) override {
    if (kind != kestrum::kKindAnalogInput) return 0;
    for (uint16_t i = 0; i < count; ++i) {
      readings[i] = g_readings[i];
      status[i] &= ~kestrum::kStatusNoValue;
    }
    return 0;
  }
};

// A temporary instance with one counter of 1000 channels, its folder, and a started scanner.
class Rig {
 public:
  Rig() {
    root_ =
        fs::temp_directory_path() / ("scan_cycle_bench." + std::to_string(kestrum::OwnProcessId()));
    fs::create_directories(root_ / "run");
    fs::create_directories(root_ / "saved");
    fs::create_directories(root_ / "CNT1");
    kestrum::SetEnvironmentValue("KESTRUM_RUNDIR", (root_ / "run").string());
    kestrum::SetEnvironmentValue("KESTRUM_REGISTRY", (root_ / "registry").string());
    kestrum::SetEnvironmentValue("KSM_SAVED_VALUES", (root_ / "saved").string());
    kestrum::dm::SystemDescription system;
    std::string error;
    const std::string json =
        R"({"subscriber_entries": 2, "devices": [{"driver": "parvex", "number": 1,
            "name": "COUNTER 1", "folder": "CNT1", "scan_rate": 1000,
            "prefixes": {"ai": {"prefix": "P1", "channels": 1000}}}]})";
    if (kestrum::dm::ParseSystemDescription(json, &system, &error) != 0 ||
        kestrum::dm::CreateInstance(system, &error) != 0) {
      failure_ = error;
      return;
    }
    WriteFolder();
    fs::current_path(root_ / "CNT1");
    kestrum::DeviceRecord* device = kestrum::FindDeviceRecord("parvex", 1);
    kestrum::SystemArea devices;
    if (device == nullptr || kestrum::OpenDeviceArea(&devices) != 0) {
      failure_ = "no device record";
      return;
    }
    scanner_ = std::make_unique<parvex::Scanner>(device, devices.area, &words_, hooks_, handlers_);
    if (scanner_->StartUp() != 0 || scanner_->Scan(true) != 0) failure_ = "scanner start-up";
  }
  ~Rig() {
    scanner_.reset();
    fs::current_path(fs::temp_directory_path());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  const std::string& failure() const { return failure_; }
  void Scan() { scanner_->Scan(false); }

 private:
  void WriteFolder() {
    kestrum::DeviceConfigFile config;
    std::memset(&config, 0, sizeof config);
    config.block.comm.ScanRate = 1000;
    std::strcpy(config.block.comm.PortName, "COM1");
    std::ofstream(root_ / "CNT1" / "config", std::ios::binary)
        .write(reinterpret_cast<const char*>(&config), sizeof config);
    kestrum::SaveConfigFile save{0, 0, 1000};
    std::ofstream(root_ / "CNT1" / "saveconfig", std::ios::binary)
        .write(reinterpret_cast<const char*>(&save), sizeof save);
    std::vector<ChannelConfigRecord> records(kChannels, parvex_test::EveryRuleChannel());
    std::ofstream ai(root_ / "CNT1" / "ai", std::ios::binary);
    const char stamp[8] = {};
    ai.write(stamp, sizeof stamp);
    ai.write(reinterpret_cast<const char*>(records.data()), records.size() * sizeof records[0]);
  }

  fs::path root_;
  std::string failure_;
  parvex::RequestWords words_;
  parvex::SystemScannerHooks hooks_;
  PreparedReadings handlers_;
  std::unique_ptr<parvex::Scanner> scanner_;
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

void SetReadings(float first, float step) {
  for (int i = 0; i < kChannels; ++i) g_readings[i] = first + step * static_cast<float>(i % 2);
}

// Every value stays where it was: the evaluation finds nothing to do.
void BM_ScanCycleUnchanged(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.failure().empty()) return state.SkipWithError(rig.failure().c_str());
  SetReadings(50.0f, 0.0f);
  rig.Scan();
  for (auto _ : state) rig.Scan();
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_ScanCycleUnchanged);

// Every value moves by more than its significant change, inside the normal band.
void BM_ScanCycleChanged(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.failure().empty()) return state.SkipWithError(rig.failure().c_str());
  bool up = false;
  for (auto _ : state) {
    up = !up;
    SetReadings(up ? 52.0f : 48.0f, up ? 2.0f : -2.0f);
    rig.Scan();
  }
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_ScanCycleChanged);

// Every value changes and the odd channels cross the warning, alarm and event limits up and
// down in turn: the cost of the state changes and the records they send.
void BM_ScanCycleCrossingLimits(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.failure().empty()) return state.SkipWithError(rig.failure().c_str());
  bool high = false;
  for (auto _ : state) {
    high = !high;
    SetReadings(high ? 50.0f : 49.0f, high ? 60.0f : 0.0f);
    rig.Scan();
  }
  state.SetItemsProcessed(state.iterations() * kChannels);
}
BENCHMARK(BM_ScanCycleCrossingLimits);

}  // namespace

BENCHMARK_MAIN();
