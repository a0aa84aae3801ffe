#include "runtime/shared_area.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/error_number.h"
#include "platform/instance_paths.h"
#include "platform/mapped_file_watch.h"
#include "platform/named_mutex.h"
#include "platform/shared_file.h"
#include "runtime/driver_link.h"
#include "runtime/process_identity.h"

namespace kestrum {
namespace {

// One opened area. Entries are never removed: areas stay mapped while the process runs.
struct AreaEntry {
  std::string name;
  std::byte* address = nullptr;
  uint64_t length = 0;
  NamedMutex* mutex = nullptr;       // opened on the first lock
  MappedFileWatch* watch = nullptr;  // tells when the file was cut short under the mapping
};

// The per-process area cache. A deque keeps entries in place as it grows.
struct AreaCache {
  std::mutex mutex;
  std::deque<AreaEntry> entries;
  std::atomic<uint64_t> generation{0};
};

AreaCache& Cache() {
  static AreaCache* cache = new AreaCache;  // never destroyed: areas outlive static destructors
  return *cache;
}

AreaEntry* FindEntryLocked(const void* area) {
  for (AreaEntry& entry : Cache().entries) {
    if (entry.address == area) return &entry;
  }
  return nullptr;
}

AreaEntry* FindEntry(const void* area) {
  if (!area) return nullptr;
  std::lock_guard<std::mutex> lock(Cache().mutex);
  return FindEntryLocked(area);
}

// A record check failed: error number 0, with a platform error that says why.
int FailCheck() {
  SetLastPlatformError(EBADMSG);
  SetErrorNumber(0);
  return -1;
}

template <typename T>
T Load(const std::byte* at) {
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

template <typename T>
void Store(std::byte* at, T value) {
  std::memcpy(at, &value, sizeof(T));
}

// A name becomes a file name under the instance: it must not climb out of it.
bool UsableAsObjectName(std::string_view name) {
  return !name.empty() && name.find('/') == std::string_view::npos &&
         name.find("..") == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

uint16_t OwnHolderId() { return static_cast<uint16_t>(CurrentProcessId() & 0xFFFF); }

// Opens the mutex of the area in `entry` on first use. Returns it, or null with the error
// number set.
NamedMutex* EntryMutex(AreaEntry* entry) {
  std::lock_guard<std::mutex> lock(Cache().mutex);
  if (entry->mutex) return entry->mutex;
  std::string_view base;
  if (!AreaMutexBase(entry->address, entry->length, &base) || !UsableAsObjectName(base)) {
    FailCheck();
    return nullptr;
  }
  entry->mutex = OpenNamedMutex(AreaMutexPath(base));
  return entry->mutex;
}

// Treats one subscriber: posts "area changed" to a subscriber by message, else counts.
template <typename Pid>
void TreatSubscriber(std::byte* entry) {
  const Pid pid = Load<Pid>(entry);
  const uint16_t by_message = Load<uint16_t>(entry + sizeof(Pid));
  std::byte* counter = entry + sizeof(Pid) + 2;
  if (by_message != 0) {
    // A vanished or full subscriber is skipped: a notice already pending says the same.
    PostNoticeToProcess(pid, kMessageAreaChanged);
  } else {
    Store<uint16_t>(counter, static_cast<uint16_t>(Load<uint16_t>(counter) + 1));
  }
}

// Delivers one queued message and frees its entry.
template <typename Pid>
void DeliverMessage(std::byte* entry) {
  const Pid pid = Load<Pid>(entry);
  if (pid == 0) return;
  const int16_t message = Load<int16_t>(entry + sizeof(Pid));
  PostToProcess(pid, message);
  Store<Pid>(entry, 0);
}

void TreatTables(std::byte* base, const AreaTables& t, int k) {
  std::byte* short_subs = base + t.short_subscriber_offset;
  std::byte* long_subs = base + t.long_subscriber_offset;
  const bool use_short = t.long_subscriber_count == 0;
  if (k != 0) {
    const uint32_t i = static_cast<uint32_t>(k - 1);
    if (use_short && i < t.short_subscriber_count) {
      TreatSubscriber<uint16_t>(short_subs + i * sizeof(ShortSubscriberEntry));
    }
    if (i < t.long_subscriber_count) {
      TreatSubscriber<uint32_t>(long_subs + i * sizeof(LongSubscriberEntry));
    }
    return;
  }
  if (use_short) {
    for (uint32_t i = 0; i < t.short_subscriber_count; ++i) {
      TreatSubscriber<uint16_t>(short_subs + i * sizeof(ShortSubscriberEntry));
    }
  }
  for (uint32_t i = 0; i < t.long_subscriber_count; ++i) {
    TreatSubscriber<uint32_t>(long_subs + i * sizeof(LongSubscriberEntry));
  }
  if (t.long_message_count == 0) {
    for (uint32_t i = 0; i < t.short_message_count; ++i) {
      DeliverMessage<uint16_t>(base + t.short_message_offset + i * sizeof(ShortMessageEntry));
    }
  }
  for (uint32_t i = 0; i < t.long_message_count; ++i) {
    DeliverMessage<uint32_t>(base + t.long_message_offset + i * sizeof(LongMessageEntry));
  }
}

}  // namespace

std::string SharedAreaPath(std::string_view name) {
  return ObjectPath("shm", "Global\\" + std::string(name));
}

std::string AreaMutexPath(std::string_view base) {
  return ObjectPath("shm", "Global\\Global\\" + std::string(base) + ".mut");
}

void* OpenSharedArea(std::string_view name) {
  if (name.size() > kMaxAreaNameLength || !UsableAsObjectName(name)) {
    SetErrorNumber(0);
    return nullptr;
  }
  AreaCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (AreaEntry& entry : cache.entries) {
    if (entry.name == name) return entry.address;
  }
  // The size field tells how long the area is; read it before mapping the area whole.
  const std::string path = SharedAreaPath(name);
  std::array<std::byte, 8> head;
  long got = ReadSharedFileHead(path, head);
  if (got < 0) return nullptr;
  if (got < static_cast<long>(head.size())) {
    SetErrorNumber(0);
    return nullptr;
  }
  const uint64_t total = AreaTotalSize(Load<uint32_t>(head.data() + 4));
  std::size_t length = 0;
  void* address = MapSharedFile(path, std::max<uint64_t>(total, kAreaHeaderSize), &length);
  if (!address) return nullptr;
  cache.entries.push_back({std::string(name), static_cast<std::byte*>(address), length, nullptr,
                           FindMappedFileWatch(address)});
  return address;
}

uint64_t SharedAreaMappedSize(const void* area) {
  AreaEntry* entry = FindEntry(area);
  return entry ? entry->length : 0;
}

namespace {

// ReadAreaHeader for an area already found in the cache.
int ReadEntryHeader(const AreaEntry* entry, AreaHeader* header) {
  std::memcpy(header, entry->address, sizeof(*header));
  if (header->magic != kAreaMagic) {
    SetErrorNumber(0);
    return -1;
  }
  if (!AreaHeaderValid(*header, entry->length)) return FailCheck();
  return 0;
}

}  // namespace

int ReadAreaHeader(const void* area, AreaHeader* header) {
  AreaEntry* entry = FindEntry(area);
  if (!entry) {
    SetErrorNumber(0);
    return -1;
  }
  return ReadEntryHeader(entry, header);
}

int LockArea(void* area) {
  AreaEntry* entry = FindEntry(area);
  if (!entry) {
    SetErrorNumber(0);
    return -1;
  }
  // An area whose file was cut short is refused until the file is whole again; then the
  // mapping shows the file once more.
  if (CheckMappedFile(entry->watch) != 0) return -1;
  AreaHeader header;
  if (ReadEntryHeader(entry, &header) != 0) return -1;
  NamedMutex* mutex = EntryMutex(entry);
  if (!mutex) return -1;
  bool abandoned = false;
  if (LockNamedMutex(mutex, &abandoned) != 0) return -1;
  auto* base = static_cast<std::byte*>(area);
  std::byte* holder = base + offsetof(AreaHeader, lock_holder);
  std::byte* depth = base + offsetof(AreaHeader, lock_depth);
  // A dead holder's bookkeeping is not continued, even if its id matches ours by chance.
  if (!abandoned && Load<uint16_t>(holder) == OwnHolderId()) {
    Store<uint32_t>(depth, Load<uint32_t>(depth) + 1);
  } else {
    Store<uint16_t>(holder, OwnHolderId());
    Store<uint32_t>(depth, 1);
  }
  return 0;
}

int UnlockArea(void* area) {
  AreaEntry* entry = FindEntry(area);
  if (!entry) {
    SetErrorNumber(0);
    return -1;
  }
  NamedMutex* mutex = entry->mutex;
  if (!mutex) return FailWith(EPERM);  // never locked in this process
  // The mutex is released whatever the header holds now: a header garbled while the lock was
  // held must not leave the area locked for every other process. Only the bookkeeping waits
  // for a header that can be trusted.
  AreaHeader header;
  const bool header_good = ReadEntryHeader(entry, &header) == 0;
  if (header_good) {
    auto* base = static_cast<std::byte*>(area);
    std::byte* holder = base + offsetof(AreaHeader, lock_holder);
    std::byte* depth = base + offsetof(AreaHeader, lock_depth);
    if (Load<uint16_t>(holder) == OwnHolderId()) {
      uint32_t left = Load<uint32_t>(depth);
      left = left > 0 ? left - 1 : 0;
      Store<uint32_t>(depth, left);
      if (left == 0) Store<uint16_t>(holder, 0);
    }
  }
  if (UnlockNamedMutex(mutex) != 0) return -1;
  return header_good ? 0 : -1;  // error number 0, from the header check
}

int MarkAreaUpdating(void* area) {
  if (LockArea(area) != 0) return -1;
  std::byte* pending = static_cast<std::byte*>(area) + offsetof(AreaHeader, update_pending);
  uint16_t count = Load<uint16_t>(pending);
  if (count < 0xFFFF) Store<uint16_t>(pending, static_cast<uint16_t>(count + 1));
  return UnlockArea(area);
}

void ForgetSharedAreas() {
  AreaCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  // The mappings are kept: addresses handed out earlier must never fault.
  for (AreaEntry& entry : cache.entries) CloseNamedMutex(entry.mutex);
  cache.entries.clear();
  cache.generation.fetch_add(1);
}

uint64_t SharedAreaGeneration() { return Cache().generation.load(); }

int NotifyArea(void* area, int subscriber) {
  return NotifyAreaForPlatform(area, subscriber, CurrentPlatformId());
}

int NotifyAreaForPlatform(void* area, int subscriber, int platform_id) {
  if (subscriber < 0 || subscriber > static_cast<int>(kMaxSubscriberNumber)) {
    return FailWith(kBadSubscriberNumber);
  }
  if (LockArea(area) != 0) return -1;
  AreaHeader header;
  AreaTables tables;
  if (ReadAreaHeader(area, &header) != 0 ||
      !ComputeAreaTables(header, SharedAreaMappedSize(area), platform_id, &tables)) {
    UnlockArea(area);
    return FailCheck();
  }
  auto* base = static_cast<std::byte*>(area);
  TreatTables(base, tables, subscriber);
  std::byte* pending = base + offsetof(AreaHeader, update_pending);
  uint16_t count = Load<uint16_t>(pending);
  if (count > 0) Store<uint16_t>(pending, static_cast<uint16_t>(count - 1));
  return UnlockArea(area);
}

}  // namespace kestrum
