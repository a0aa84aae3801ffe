// Change notification of a registry key: on Windows the system's own (RegNotifyChangeKeyValue
// with an event, asked again after each change taken), on Linux an inotify watch on the key's
// folder.
#ifndef PARVEX_PLATFORM_REGISTRY_WATCH_H_
#define PARVEX_PLATFORM_REGISTRY_WATCH_H_

#include <memory>
#include <string>
#include <unordered_map>

#include "platform/registry.h"

namespace kestrum {

/// Reports changes to the values of one key (and of every key below it when the subtree is
/// watched): values written, replaced or removed, sub-keys created or removed, by this or any
/// other process. Changes accumulate until Wait() takes them. Not thread-safe: one thread
/// waits on a watch.
class RegistryWatch {
 public:
  ~RegistryWatch();
  RegistryWatch(const RegistryWatch&) = delete;
  RegistryWatch& operator=(const RegistryWatch&) = delete;

  /// Waits up to `timeout_ms` (0: only look, negative: no limit) for a change. Returns 1 and
  /// forgets the changes seen so far when there was one, 0 on time-out, -1 with the error
  /// number set on failure.
  int Wait(int timeout_ms);

#ifndef _WIN32
  /// A descriptor that becomes readable when a change is pending (for poll()); owned by the
  /// watch.
  int fd() const { return fd_; }
#endif

 private:
  friend int RegWatchKey(RegKey key, bool subtree, std::unique_ptr<RegistryWatch>* watch);
#ifdef _WIN32
  RegistryWatch(RegKey key, void* event, bool subtree)
      : key_(key), event_(event), subtree_(subtree) {}
  int Arm();

  RegKey key_;   // the watch's own handle of the key
  void* event_;  // the change event (a HANDLE), signalled by the system on a change
  bool subtree_;
#else
  RegistryWatch(int fd, bool subtree) : fd_(fd), subtree_(subtree) {}
  int AddFolder(const std::string& folder);
  bool TakeEvents();

  int fd_;
  bool subtree_;
  std::unordered_map<int, std::string> folders_;  // watch descriptor -> folder
#endif
};

/// Starts watching the key `key` (a stored key; its folder must exist), with every key below
/// it when `subtree` is true. Returns 0 and the watch in `*watch`, or an error code (ENOENT
/// for a key that is not stored, such as SERIALCOMM; on Windows every key is stored).
int RegWatchKey(RegKey key, bool subtree, std::unique_ptr<RegistryWatch>* watch);

}  // namespace kestrum

#endif  // PARVEX_PLATFORM_REGISTRY_WATCH_H_
