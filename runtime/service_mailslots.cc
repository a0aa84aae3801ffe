#include "runtime/service_mailslots.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/error_number.h"
#include "runtime/driver_link.h"
#include "runtime/shared_area.h"
#include "runtime/system_areas.h"

namespace kestrum {
namespace {

// One service's handle, looked up once per generation of the area cache.
struct ServiceSlot {
  std::mutex mutex;
  bool looked = false;
  uint64_t generation = 0;
  int handle = -1;
};

bool ProcessorPresent(const char* name) {
  const DataProcessorRecord* processor = FindDataProcessor(name);
  return processor != nullptr && processor->present != 0;
}

int OpenWithAttempts(const char* mailslot, int attempts, int pause_ms) {
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    int handle = OpenMailslotForWriting(mailslot);
    if (handle >= 0) return handle;
  }
  return -1;
}

int LookUp(ServiceSlot* slot, const char* processor, const char* mailslot, int attempts) {
  std::lock_guard<std::mutex> lock(slot->mutex);
  const uint64_t generation = SharedAreaGeneration();
  if (slot->looked && slot->generation == generation) return slot->handle;
  KeepErrorNumber keep;
  CloseMailslotHandle(slot->handle);
  slot->handle =
      ProcessorPresent(processor) ? OpenWithAttempts(mailslot, attempts, kDerivedOpenPauseMs) : -1;
  slot->looked = true;
  slot->generation = generation;
  return slot->handle;
}

}  // namespace

int AlarmServiceHandle() {
  static ServiceSlot slot;
  return LookUp(&slot, kAlarmProcessorName, kAlarmServiceMailslot, 1);
}

int DerivedServiceHandle() {
  static ServiceSlot slot;
  return LookUp(&slot, kDerivedProcessorName, kDerivedServiceMailslot, kDerivedOpenAttempts);
}

}  // namespace kestrum
