#include "scanner_rig.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config_compiler.h"
#include "platform/environment.h"
#include "platform/own_process.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/error_entries.h"
#include "records/fixed_text.h"
#include "runtime/area_lock.h"
#include "runtime/channel_prefixes.h"
#include "runtime/driver_link.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"
#include "tools/dm/instance.h"
#include "tools/dm/system_description.h"

namespace parvex_test {
namespace fs = std::filesystem;

namespace {

constexpr char kFolder[] = "CNT1";
constexpr char kDeviceName[] = "COUNTER 1";

std::string Number(double v) {
  std::ostringstream out;
  out << v;
  return out.str();
}

// The 16 hardware bytes as hex digits: FieldType, PortNumber, ValueType, then zeros. Without an
// extension module the loader reads the hardware part as one hex field.
std::string HardwareHex(const std::string& field, int port, const std::string& value) {
  int field_code = 0;
  for (int i = 0; i < kestrum::kFieldTypeCount; ++i) {
    if (field == kestrum::kFieldTypeNames[i]) field_code = i;
  }
  int value_code = 0;
  for (int i = 0; i < kestrum::kValueTypeCount; ++i) {
    if (value == kestrum::kValueTypeNames[i]) value_code = i;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02x%02x%02x%026d", field_code, port & 0xFF, value_code, 0);
  return text;
}

#ifdef _WIN32
// The product's key under HKEY_LOCAL_MACHINE, where the scanner reads its settings.
constexpr char kProductKey[] = "SOFTWARE\\Veltrane";

// Removes `sub_key` of `parent` with every key below it.
void DeleteKeyTree(kestrum::RegKey parent, const std::string& sub_key) {
  kestrum::RegKey key = nullptr;
  if (kestrum::RegOpenKey(parent, sub_key, kestrum::kKeyAllAccess, &key) != 0) return;
  std::string child;
  while (kestrum::RegEnumKey(key, 0, &child) == 0) {
    const std::string before = child;
    DeleteKeyTree(key, child);
    if (kestrum::RegEnumKey(key, 0, &child) == 0 && child == before) break;  // not removable
  }
  kestrum::RegCloseKey(key);
  kestrum::RegDeleteKey(parent, sub_key);
}
#endif

}  // namespace

RealLocalMachine::RealLocalMachine() {
#ifdef _WIN32
  kestrum::MapLocalMachineForTests("");
  DeleteKeyTree(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine), kProductKey);
#endif
}

RealLocalMachine::~RealLocalMachine() {
#ifdef _WIN32
  DeleteKeyTree(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine), kProductKey);
#endif
}

ChannelXml::ChannelXml(int id, const std::string& tag, const std::string& field, int port,
                       const std::string& value)
    : id_(id) {
  fields_ = {{"Enable", "On"},
             {"Tag", tag},
             {"Description", tag + " channel"},
             {"Type", "AI"},
             {"ErrorAlarmEnable", "Off"},
             {"EventEnable", "Off"},
             {"Units", "cnt"},
             {"MaximumUnits", "1000000"},
             {"MinimumUnits", "0"},
             {"ReferenceEnable", "Off"},
             {"SigChangeEnable", "Off"},
             {"ScalingEnable", "Off"},
             {"LowAlarmEnable", "Off"},
             {"HighAlarmEnable", "Off"},
             {"Analogue", HardwareHex(field, port, value)}};
}

ChannelXml& ChannelXml::Set(const std::string& name, const std::string& value) {
  for (auto& f : fields_) {
    if (f.first == name) {
      f.second = value;
      return *this;
    }
  }
  fields_.emplace_back(name, value);
  return *this;
}

ChannelXml& ChannelXml::HighAlarm(double limit, double warning, int priority, int delay) {
  return Set("HighAlarmEnable", "On")
      .Set("HighAlarmDriveCommon", "Off")
      .Set("HighAlarmLimit", Number(limit))
      .Set("HighWarningEnable", "On")
      .Set("HighWarningLimit", Number(warning))
      .Set("HighAlarmDeadbandEnable", "Off")
      .Set("HighAlarmPriority", std::to_string(priority))
      .Set("HighAlarmDelay", std::to_string(delay))
      .Set("HighAlarmText", "TOO HIGH");
}

std::string ChannelXml::Text() const {
  std::string text = "<Channel id='" + std::to_string(id_) + "'>";
  for (const auto& [name, value] : fields_) {
    std::string escaped;
    for (char c : value) {
      if (c == '>') {
        escaped += "&gt;";
      } else if (c == '<') {
        escaped += "&lt;";
      } else if (c == '&') {
        escaped += "&amp;";
      } else {
        escaped += c;
      }
    }
    text += "<" + name + ">" + escaped + "</" + name + ">";
  }
  return text + "</Channel>";
}

ScannerRig::ScannerRig(const RigOptions& options) : options_(options) {
  kestrum::ForgetSharedAreas();
  kestrum::SetEnvironmentValue("KSM_CURRENT_CONFIG", (instance_.root() / "config").string());
  kestrum::SetEnvironmentValue("KSM_SAVED_VALUES", saved_values_folder());
  fs::create_directories(device_folder());
  fs::create_directories(saved_values_folder());
  const std::string json =
      R"({"subscriber_entries": )" + std::to_string(options.subscriber_entries) +
      R"(, "devices": [{"driver": "parvex", "number": 1, "name": ")" + kDeviceName +
      R"(", "folder": ")" + kFolder + R"(", "scan_rate": )" + std::to_string(options.scan_rate_ms) +
      R"(, "port": ")" + options.port + R"(", "prefixes": {"ai": {"prefix": "P1", "channels": )" +
      std::to_string(options.table_channels) +
      // The alarm service is announced by its data processor.
      R"(}}}], "data_processors": [{"name": "ALARM", "present": true}]})";
  kestrum::dm::SystemDescription system;
  if (kestrum::dm::ParseSystemDescription(json, &system, &error_) != 0) return;
  if (kestrum::dm::CreateInstance(system, &error_) != 0) return;
  if (!WriteFolder(options.channels)) return;
  dm_ = std::make_unique<kestrum::dm::DriverManager>(system, nullptr);
}

ScannerRig::~ScannerRig() {
  StopPump();
  if (dm_) dm_->StopScanners(5000);
  dm_.reset();
  counter_.reset();
  kestrum::RemoveEnvironmentValue("KSM_CURRENT_CONFIG");
  kestrum::RemoveEnvironmentValue("KSM_SAVED_VALUES");
  kestrum::ForgetSharedAreas();
}

std::string ScannerRig::device_folder() const {
  return (instance_.root() / "config" / kFolder).string();
}

std::string ScannerRig::saved_values_folder() const {
  return (instance_.root() / "saved").string();
}

bool ScannerRig::WriteFolder(const std::vector<ChannelXml>& channels) {
  {
    std::ofstream config(device_folder() + "/config.xml");
    config << "<Configs><Config><AutoEnable>On</AutoEnable><SaveOutputs>"
           << (options_.save_outputs ? "On" : "Off")
           << "</SaveOutputs><SaveByTag>Off</SaveByTag><SaveRate>1000</SaveRate><ScanRate>"
           << options_.scan_rate_ms << "</ScanRate><BaudRate>9600</BaudRate><PortName>"
           << options_.port
           << "</PortName>"
              "<Parity>None</Parity><DataBits>8</DataBits></Config></Configs>";
    std::ofstream ai(device_folder() + "/ai.xml");
    ai << "<Channels>";
    for (const ChannelXml& c : channels) ai << c.Text();
    ai << "</Channels>";
  }
  std::vector<std::string> written;
  // The files hold a record for every channel of the table.
  if (kestrum::CompileConfigFolder(device_folder(), &written, &error_, options_.table_channels) !=
      0) {
    return false;
  }
  // The scanner must read the binary files (it has no extension module asking for XML).
  fs::remove(device_folder() + "/config.xml");
  fs::remove(device_folder() + "/ai.xml");
  return true;
}

bool ScannerRig::RewriteChannels(const std::vector<ChannelXml>& channels) {
  const fs::path file = device_folder() + "/ai";
  std::error_code ec;
  const auto before = fs::last_write_time(file, ec);
  if (!WriteFolder(channels)) return false;
  const auto after = fs::last_write_time(file, ec);
  if (std::chrono::duration_cast<std::chrono::milliseconds>(after - before).count() == 0) {
    // Same millisecond: move the stamp on so that the change is seen.
    fs::last_write_time(file, after + std::chrono::seconds(1), ec);
  }
  return true;
}

bool ScannerRig::StartCounter(const std::vector<std::string>& args) {
  CounterOptions options;
  options.port = options_.port;
  if (!ParseCounterArgs(args, &options)) return false;
  // A counter before this one lets go of the line first (as a simulator that ended has).
  if (counter_) counter_->Die();
  counter_ = std::make_unique<RigCounter>(options);
  return counter_->Start() == 0;
}

bool ScannerRig::CounterCommand(const std::string& line) {
  return counter_ && counter_->Command(line);
}

void ScannerRig::KillCounter() {
  if (counter_) counter_->Die();
}

kestrum::ProcessId ScannerRig::scanner_pid() {
  std::lock_guard<std::mutex> lock(dm_mutex_);
  return dm_ ? dm_->ScannerPid(1) : 0;
}

bool ScannerRig::LaunchScanner() {
  if (!dm_) return false;
  std::lock_guard<std::mutex> lock(dm_mutex_);
  return dm_->StartScanners(PARVEX_SC_PROGRAM) == 0;
}

bool ScannerRig::StartScanner() {
  if (!LaunchScanner()) return false;
  bool exited = false;
  const bool ready = WaitFor(
      [&] {
        std::lock_guard<std::mutex> lock(dm_mutex_);
        dm_->Tick();
        if (dm_->ExitStatus(1) != -1) {
          exited = true;
          error_ = "scanner exited with status " + std::to_string(dm_->ExitStatus(1));
          return true;
        }
        return device()->scanner_ready == 1 && device()->operation_in_progress == 0;
      },
      15000);
  if (!ready) error_ = "scanner not ready; message: " + error_message();
  return ready && !exited;
}

void ScannerRig::StartPump(int period_ms) {
  pumping_ = true;
  pump_ = std::thread([this, period_ms] {
    auto next = std::chrono::steady_clock::now();
    while (pumping_) {
      {
        std::lock_guard<std::mutex> lock(dm_mutex_);
        dm_->Tick();
        if (std::chrono::steady_clock::now() >= next) {
          dm_->Send(1, kestrum::kMessageScan);
          next += std::chrono::milliseconds(period_ms);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
}

void ScannerRig::StopPump() {
  pumping_ = false;
  if (pump_.joinable()) pump_.join();
}

int ScannerRig::ScansSent() {
  std::lock_guard<std::mutex> lock(dm_mutex_);
  if (!dm_) return 0;
  dm_->Tick();
  return dm_->ScansSent(1);
}

int ScannerRig::Post(int32_t code) {
  std::lock_guard<std::mutex> lock(dm_mutex_);
  return dm_ ? dm_->Send(1, code) : -1;
}

bool ScannerRig::SubscribeByMessage(void* area) {
  kestrum::AreaHeader header;
  kestrum::AreaTables tables;
  if (kestrum::ReadAreaHeader(area, &header) != 0 ||
      !kestrum::ComputeAreaTables(header, kestrum::SharedAreaMappedSize(area), 2, &tables) ||
      tables.long_subscriber_count == 0) {
    return false;
  }
  kestrum::AreaLock lock(area);
  if (!lock.held()) return false;
  auto* entry = reinterpret_cast<kestrum::LongSubscriberEntry*>(static_cast<uint8_t*>(area) +
                                                                tables.long_subscriber_offset);
  entry->process_id = kestrum::OwnProcessId();
  entry->by_message = 1;
  return true;
}

bool ScannerRig::WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

int ScannerRig::WaitExit(int timeout_ms) {
  int status = -1;
  WaitFor(
      [&] {
        std::lock_guard<std::mutex> lock(dm_mutex_);
        dm_->Tick();
        status = dm_->ExitStatus(1);
        return status != -1;
      },
      timeout_ms);
  return status;
}

kestrum::DeviceRecord* ScannerRig::device() const { return kestrum::FindDeviceRecord("parvex", 1); }

void* ScannerRig::table_area() const { return kestrum::GetChannelTable("P1"); }

kestrum::ChannelTableView ScannerRig::table() const {
  kestrum::ChannelTableView view;
  kestrum::GetChannelTableView("P1", &view);
  return view;
}

std::string ScannerRig::error_message() const {
  kestrum::SystemArea errors;
  if (kestrum::OpenErrorArea(&errors) != 0) return "";
  const auto* base = static_cast<const uint8_t*>(errors.area);
  for (uint32_t i = 0; i < errors.count; ++i) {
    const auto* entry = reinterpret_cast<const kestrum::LongErrorEntry*>(
        base + kestrum::LongErrorEntryOffset(errors.count, i));
    if (std::strncmp(entry->source_name, kDeviceName, sizeof entry->source_name) == 0) {
      return std::string(kestrum::FixedText(entry->message));
    }
  }
  return "";
}

}  // namespace parvex_test
