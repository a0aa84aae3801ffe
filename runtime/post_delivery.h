// Bounded delivery of posts to other processes' mailslots.
//
// Linux queues only a few datagrams per receiving socket (net.unix.max_dgram_qlen, 10 by
// default) where a Windows mailslot queues every message, so a burst of alarm records or
// logger posts would overrun a receiver that is reading. A post to a full receiver therefore
// waits for room, within a budget: every post of one scan, one channel write or one request
// shares one budget (PostBudget), and a post outside any budget has one of its own. A receiver
// that has stopped reading thus costs its sender at most one budget, never a stalled scan.
//
// What still finds no room is dropped and counted per receiver. A spell of drops lasts from the
// first drop to the next post that the receiver takes again (or to the end of the driver link)
// and is reported once, with its count, in the system log. While a receiver's spell lasts,
// posts to it do not wait: it has shown that it is not reading.
//
// Thread safety: budgets belong to the thread that made them; the rest may be called from any
// thread.
#ifndef PARVEX_RUNTIME_POST_DELIVERY_H_
#define PARVEX_RUNTIME_POST_DELIVERY_H_

#include <chrono>
#include <cstddef>
#include <string>

namespace kestrum {

/// Milliseconds that all posts of one scan, one channel write or one request may wait in all
/// for room in their receivers. A reading receiver empties its queue in microseconds, but on a
/// loaded machine it may not be scheduled for a good part of this; a burst of hundreds of records
/// then still arrives whole. It stays at half of a usual scan period (ScanRate, normally a second
/// or more; the serial link's silence time-out is 1000 ms), so a receiver that stopped reading
/// delays one scan by at most this much, once per spell of drops, and never stalls scanning.
inline constexpr int kPostBudgetMs = 500;

/// While it lives, the posts this thread makes share one wait of at most `ms` milliseconds.
/// Budgets nest: an inner budget never outlasts the one around it.
class PostBudget {
 public:
  explicit PostBudget(int ms = kPostBudgetMs);
  ~PostBudget();
  PostBudget(const PostBudget&) = delete;
  PostBudget& operator=(const PostBudget&) = delete;

 private:
  bool had_outer_;
  std::chrono::steady_clock::time_point outer_deadline_;
};

/// Registers the writer `handle` (from OpenMailslotWriter) as a writer to the mailslot
/// `receiver`, whose spells of drops it shares. Returns nothing.
void AttachPostWriter(int handle, const std::string& receiver);

/// Forgets the writer `handle` before it is closed (an unknown handle is allowed).
void DetachPostWriter(int handle);

/// Sends `length` bytes as one message on `handle`, waiting for room within this thread's
/// budget (not at all while the receiver's spell of drops lasts). Returns `length`, or -1 with
/// the error number set: EAGAIN when the receiver had no room in time (the message is dropped
/// and counted), as SendToMailslotWithin otherwise.
long DeliverPost(int handle, const void* buffer, std::size_t length);

/// Sends `length` bytes on `handle` without waiting and without counting a drop: for notices
/// that a receiver with one pending loses nothing by missing. Returns `length`, or -1 with the
/// error number set (EAGAIN when the receiver is full).
long DeliverNotice(int handle, const void* buffer, std::size_t length);

/// Reports every spell of drops that still lasts (one system-log line each) and ends it.
/// Keeps the error number.
void ReportOpenDropSpells();

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_POST_DELIVERY_H_
