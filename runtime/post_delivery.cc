#include "runtime/post_delivery.h"

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/error_number.h"
#include "platform/event_log.h"
#include "platform/mailslot.h"
#include "runtime/system_event.h"

namespace kestrum {
namespace {

using Clock = std::chrono::steady_clock;

// The deadline of the innermost budget of this thread, if any.
thread_local std::optional<Clock::time_point> t_deadline;

// The drops of one receiver since it last took a post.
struct Spell {
  std::string receiver;
  uint64_t dropped = 0;
};

struct Deliveries {
  std::mutex mutex;
  std::deque<Spell> spells;  // one per receiver written to; addresses stay put
  std::unordered_map<int, Spell*> writers;
};

Deliveries& TheDeliveries() {
  static Deliveries* deliveries = new Deliveries;  // used by threads that outlive statics
  return *deliveries;
}

// Milliseconds the next post of this thread may wait.
int WaitLeftMs() {
  if (!t_deadline) return kPostBudgetMs;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(*t_deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void ReportSpell(const std::string& receiver, uint64_t dropped) {
  KeepErrorNumber keep;
  char text[160];
  std::snprintf(text, sizeof text,
                "%" PRIu64 " MESSAGES TO MAILSLOT %s DROPPED: ITS READER TOOK NONE IN TIME",
                dropped, receiver.c_str());
  ReportSystemEvent(".", kEventTypeError, text);
}

Spell* SpellOf(int handle) {
  auto found = TheDeliveries().writers.find(handle);
  return found == TheDeliveries().writers.end() ? nullptr : found->second;
}

}  // namespace

PostBudget::PostBudget(int ms) : had_outer_(t_deadline.has_value()) {
  const Clock::time_point mine = Clock::now() + std::chrono::milliseconds(ms);
  if (had_outer_) outer_deadline_ = *t_deadline;
  if (!had_outer_ || mine < outer_deadline_) t_deadline = mine;
}

PostBudget::~PostBudget() {
  if (had_outer_) {
    t_deadline = outer_deadline_;
  } else {
    t_deadline.reset();
  }
}

void AttachPostWriter(int handle, const std::string& receiver) {
  if (handle < 0) return;
  Deliveries& d = TheDeliveries();
  std::lock_guard<std::mutex> lock(d.mutex);
  Spell* spell = nullptr;
  for (Spell& s : d.spells) {
    if (s.receiver == receiver) spell = &s;
  }
  if (spell == nullptr) spell = &d.spells.emplace_back(Spell{receiver, 0});
  d.writers[handle] = spell;
}

void DetachPostWriter(int handle) {
  Deliveries& d = TheDeliveries();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.writers.erase(handle);
}

long DeliverPost(int handle, const void* buffer, std::size_t length) {
  Deliveries& d = TheDeliveries();
  bool in_spell;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    const Spell* spell = SpellOf(handle);
    in_spell = spell != nullptr && spell->dropped != 0;
  }
  const long sent = SendToMailslotWithin(handle, buffer, length, in_spell ? 0 : WaitLeftMs());
  const int error = GetErrorNumber();
  std::string ended_receiver;
  uint64_t ended_count = 0;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    Spell* spell = SpellOf(handle);
    if (spell != nullptr && sent >= 0 && spell->dropped != 0) {
      ended_receiver = spell->receiver;
      ended_count = spell->dropped;
      spell->dropped = 0;
    } else if (spell != nullptr && sent < 0 && error == EAGAIN) {
      ++spell->dropped;
    }
  }
  if (ended_count != 0) ReportSpell(ended_receiver, ended_count);  // keeps the error number
  return sent;
}

long DeliverNotice(int handle, const void* buffer, std::size_t length) {
  return SendToMailslotWithin(handle, buffer, length, 0);
}

void ReportOpenDropSpells() {
  Deliveries& d = TheDeliveries();
  std::vector<Spell> open;
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    for (Spell& s : d.spells) {
      if (s.dropped == 0) continue;
      open.push_back(s);
      s.dropped = 0;
    }
  }
  for (const Spell& s : open) ReportSpell(s.receiver, s.dropped);
}

}  // namespace kestrum
