#include "scanner_rig.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config_compiler.h"
#include "platform/environment.h"
#include "platform/process.h"
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

}  // namespace

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
  if (counter_pid_ > 0 && kestrum::WaitProcess(counter_pid_, 0, nullptr) != 0) {
    kestrum::KillProcess(counter_pid_, SIGTERM);
    if (kestrum::WaitProcess(counter_pid_, 5000, nullptr) != 0) {
      kestrum::KillProcess(counter_pid_, SIGKILL);
      kestrum::WaitProcess(counter_pid_, 5000, nullptr);
    }
  }
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
  struct stat before {};
  stat((device_folder() + "/ai").c_str(), &before);
  if (!WriteFolder(channels)) return false;
  struct stat after {};
  stat((device_folder() + "/ai").c_str(), &after);
  if (after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
      after.st_mtim.tv_nsec / 1000000 == before.st_mtim.tv_nsec / 1000000) {
    // Same millisecond: move the stamp on so that the change is seen.
    timespec times[2] = {after.st_atim, after.st_mtim};
    times[1].tv_sec += 1;
    utimensat(AT_FDCWD, (device_folder() + "/ai").c_str(), times, 0);
  }
  return true;
}

bool ScannerRig::StartCounter(const std::vector<std::string>& args) {
  // The simulator logs every report on its standard output; the test has no use for it.
  std::string command =
      std::string("exec ") + COUNTER_SIM_PROGRAM + " --port " + options_.port + " --no-stdin";
  bool interval = false;
  for (const std::string& a : args) {
    interval |= a == "--interval";
    command += " '" + a + "'";
  }
  if (!interval) command += " --interval 250";
  command += " >/dev/null";
  const std::vector<std::string> argv = {"/bin/sh", "-c", command};
  if (kestrum::SpawnProcess(argv, nullptr, &counter_pid_) != 0) return false;
  const fs::path alias = instance_.rundir() / "dev" / options_.port;
  const fs::path fifo = instance_.rundir() / "counter_sim" / (options_.port + ".ctl");
  return WaitFor([&] { return fs::exists(alias) && fs::exists(fifo); }, 10000);
}

bool ScannerRig::CounterCommand(const std::string& line) {
  std::ofstream fifo(instance_.rundir() / "counter_sim" / (options_.port + ".ctl"));
  fifo << line << "\n";
  return static_cast<bool>(fifo);
}

pid_t ScannerRig::scanner_pid() {
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
  entry->process_id = static_cast<uint32_t>(getpid());
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
