#include "tools/dm/instance.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/environment.h"
#include "platform/error_number.h"
#include "platform/instance_paths.h"
#include "records/area_layout.h"
#include "records/channel_config.h"
#include "records/channel_table.h"
#include "records/device_record.h"
#include "records/error_entries.h"
#include "records/fixed_text.h"
#include "records/system_records.h"
#include "tools/dm/area_builder.h"
#include "tools/dm/temporary_folder.h"

namespace kestrum::dm {
namespace {

namespace fs = std::filesystem;

void PutPrefix(char* field, std::string_view prefix) {
  field[0] = prefix.size() > 0 ? prefix[0] : '\0';
  field[1] = prefix.size() > 1 ? prefix[1] : '\0';
}

// A data part that starts with a u32 record count, with room for `count` records of
// `record_size` bytes and `extra` further bytes.
std::vector<std::byte> CountedData(uint32_t count, std::size_t record_size, std::size_t extra) {
  std::vector<std::byte> data(4 + count * record_size + extra);
  std::memcpy(data.data(), &count, 4);
  return data;
}

template <typename Record>
Record* RecordAt(std::vector<std::byte>& data, std::size_t index) {
  return reinterpret_cast<Record*>(data.data() + 4 + index * sizeof(Record));
}

DeviceRecord MakeDeviceRecord(const DeviceSpec& d) {
  DeviceRecord r = {};
  SetFixedText(r.driver_name, d.driver, true);
  SetFixedText(r.device_name, d.name, true);
  r.device_number = d.number;
  SetFixedText(r.folder_name, d.folder, true);
  for (std::size_t k = 0; k < d.kinds.size(); ++k) {
    if (d.kinds[k]) PutPrefix(r.prefixes[k], d.kinds[k]->prefix);
  }
  r.config.comm.ScanRate = d.scan_rate;
  r.config.comm.BaudRate = d.baud;
  SetFixedText(r.config.comm.PortName, d.port, true);
  r.config.comm.Parity = d.parity;
  r.config.comm.DataBits = d.data_bits;
  return r;
}

class Builder {
 public:
  Builder(const SystemDescription& system, std::string* error) : system_(system), error_(error) {}

  bool Run() {
    return MakeFolders() && MakeDevices() && MakeProcessors() && MakeLoggers() && MakeErrors() &&
           MakePrefixes();
  }

 private:
  bool Fail(const std::string& message) {
    if (error_) *error_ = message;
    return false;
  }
  bool Area(std::string_view name, std::span<const std::byte> data) {
    if (CreateArea(name, data, system_.shape) == 0) return true;
    return Fail("cannot create area " + std::string(name) + ": " + std::strerror(GetErrorNumber()));
  }

  // The instance directory and its folders. Windows keeps an instance's objects in its own
  // namespaces: there are no folders to make.
  bool MakeFolders() {
#ifdef _WIN32
    return true;
#else
    const fs::path root = InstanceDir();
    std::error_code ec;
    for (const char* sub : {"shm/Global/Global", "mailslot/process", "dev", "bin"}) {
      fs::create_directories(root / sub, ec);
      if (ec) return Fail("cannot create " + (root / sub).string() + ": " + ec.message());
    }
    for (const char* sub : {"", "shm", "shm/Global", "shm/Global/Global", "mailslot",
                            "mailslot/process", "dev", "bin"}) {
      // The set-group-id bit stays: it gives everything created inside the instance's group.
      const fs::path folder = root / sub;
      const fs::perms old = fs::status(folder, ec).permissions();
      if (!ec) {
        fs::permissions(folder, fs::perms(kInstanceMode) | (old & fs::perms::set_gid),
                        fs::perm_options::replace, ec);
      }
      if (ec) return Fail("cannot set the mode of " + folder.string());
    }
    return true;
#endif
  }

  bool MakeDevices() {
    const auto n = static_cast<uint32_t>(system_.devices.size());
    // The extra-prefix array (two characters per device) always follows the records.
    std::vector<std::byte> data = CountedData(n, sizeof(DeviceRecord), 2 * n);
    for (uint32_t i = 0; i < n; ++i) {
      const DeviceSpec& d = system_.devices[i];
      *RecordAt<DeviceRecord>(data, i) = MakeDeviceRecord(d);
      if (d.extra) {
        auto* extra = reinterpret_cast<char*>(data.data() + 4 + n * sizeof(DeviceRecord) + 2 * i);
        PutPrefix(extra, d.extra->prefix);
      }
    }
    return Area(kDeviceAreaName, data);
  }

  bool MakeProcessors() {
    const auto n = static_cast<uint32_t>(system_.processors.size());
    std::vector<std::byte> data = CountedData(n, sizeof(DataProcessorRecord), 0);
    for (uint32_t i = 0; i < n; ++i) {
      const DataProcessorSpec& p = system_.processors[i];
      DataProcessorRecord* r = RecordAt<DataProcessorRecord>(data, i);
      SetFixedText(r->name, p.name, true);
      if (p.prefix) PutPrefix(r->prefix, p.prefix->prefix);
      r->write_mode = p.write_mode;
      r->present = p.present ? 1 : 0;
      r->value_kind = p.value_kind;
      r->owner_pid = p.owner_pid;
    }
    return Area(kDataProcessorAreaName, data);
  }

  bool MakeLoggers() {
    const auto n = static_cast<uint32_t>(system_.loggers.size());
    std::vector<std::byte> data = CountedData(n, sizeof(LoggerRecord), 0);
    for (uint32_t i = 0; i < n; ++i) {
      const LoggerSpec& l = system_.loggers[i];
      LoggerRecord* r = RecordAt<LoggerRecord>(data, i);
      r->enabled = l.enabled ? 1 : 0;
      r->process_id = l.pid;
      SetFixedText(r->name, l.name, true);
    }
    return Area(kLoggerAreaName, data);
  }

  bool MakeErrors() {
    const uint32_t n = system_.error_entries;
    const std::size_t per_entry = system_.long_errors ? kLongErrorBytesPerEntry : 57;
    return Area(kErrorAreaName, CountedData(n, per_entry, 0));
  }

  bool MakePrefixes() {
    std::set<std::string> seen;
    auto make = [&](const PrefixSpec& desc) {
      if (!seen.insert(desc.prefix).second) return Fail("prefix " + desc.prefix + " used twice");
      return MakePrefixAreas(desc);
    };
    for (const auto& p : system_.processors) {
      if (p.prefix && !make(*p.prefix)) return false;
    }
    for (const auto& d : system_.devices) {
      for (const auto& kind : d.kinds) {
        if (kind && !make(*kind)) return false;
      }
      if (d.extra && !make(*d.extra)) return false;
    }
    return true;
  }

  bool MakePrefixAreas(const PrefixSpec& desc) {
    const std::string base = "dm_" + desc.prefix;
    std::vector<std::byte> table(ChannelTableBytes(desc.channels, desc.live_bytes));
    ChannelTableHeader header = {};
    PutPrefix(header.prefix, desc.prefix);
    header.live_bytes = desc.live_bytes;
    header.channel_count = desc.channels;
    std::memcpy(table.data(), &header, sizeof(header));
    // Event rows: one for the derived-value service, one per logger; one bit per channel.
    std::vector<std::byte> events(std::size_t{desc.channels / 8u} * (1 + system_.loggers.size()));
    std::vector<std::byte> config(std::size_t{desc.channels} * kChannelConfigSize);
    return Area(base, table) && Area(base + "_conf", config) && Area(base + "_event", events);
  }

  const SystemDescription& system_;
  std::string* error_;
};

}  // namespace

int CreateInstance(const SystemDescription& system, std::string* error) {
  return Builder(system, error).Run() ? 0 : -1;
}

int RemoveInstance(const std::string& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  return ec ? -1 : 0;
}

TemporaryInstance::~TemporaryInstance() {
  if (!dir_.empty()) RemoveInstance(dir_);
  if (!selected_) return;
#ifdef _WIN32
  SetObjectNamePrefixForTests(old_prefix_);
  const char* variable = kTestObjectPrefixVariable;
#else
  const char* variable = "KESTRUM_RUNDIR";
#endif
  if (old_variable_ && !old_variable_->empty()) {
    SetEnvironmentValue(variable, *old_variable_);
  } else {
    RemoveEnvironmentValue(variable);
  }
}

void TemporaryInstance::Select(bool selected) {
#ifdef _WIN32
  const std::string prefix = fs::path(dir_).filename().string() + (selected ? "-" : "-none-");
  SetObjectNamePrefixForTests(prefix);
  SetEnvironmentValue(kTestObjectPrefixVariable, prefix);
#else
  SetEnvironmentValue("KESTRUM_RUNDIR", selected ? dir_ : dir_ + "/none");
#endif
}

std::unique_ptr<TemporaryInstance> BuildInstance(std::string_view json, std::string* error) {
  std::unique_ptr<TemporaryInstance> instance(new TemporaryInstance);
  if (ParseSystemDescription(json, &instance->system_, error) != 0) return nullptr;
  instance->dir_ = MakeTemporaryFolder("kestrum-dm-");
  if (instance->dir_.empty()) {
    if (error) *error = "cannot create a temporary directory";
    return nullptr;
  }
#ifdef _WIN32
  instance->old_prefix_ = WithObjectNamePrefix("");
  const char* variable = kTestObjectPrefixVariable;
#else
  const char* variable = "KESTRUM_RUNDIR";
#endif
  if (const char* old = std::getenv(variable)) instance->old_variable_ = old;
  instance->selected_ = true;
  instance->Select(true);
  if (CreateInstance(instance->system_, error) != 0) return nullptr;  // the destructor cleans up
  return instance;
}

}  // namespace kestrum::dm
