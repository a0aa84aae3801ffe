// A SCADA instance built from a system description: the instance directory with its folders,
// every shared area with its mutex, and "dm_device" filled from the description.
#ifndef PARVEX_TOOLS_DM_INSTANCE_H_
#define PARVEX_TOOLS_DM_INSTANCE_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tools/dm/system_description.h"

namespace kestrum::dm {

/// Permission bits of the instance directory and its folders: owner and group only.
inline constexpr unsigned kInstanceMode = 0770;

/// Creates the instance of `system` in this process's instance directory (InstanceDir()): the
/// directory (mode 0770) and its folders "shm/Global/Global", "mailslot/process", "dev" and
/// "bin"; the areas "dm_device", "dm_datproc", "dm_loggers" and "dm_errors"; and, for every
/// channel prefix, its channel table, "_conf" and "_event" areas, each with its mutex. Returns
/// 0, or -1 with a message in `*error` (may be null).
int CreateInstance(const SystemDescription& system, std::string* error);

/// Removes the instance directory `dir` and everything in it. Returns 0 or -1.
int RemoveInstance(const std::string& dir);

/// An instance in a fresh temporary directory, for tests: points KESTRUM_RUNDIR at it while
/// it lives (restoring the previous value afterwards) and removes it on destruction.
class TemporaryInstance {
 public:
  ~TemporaryInstance();
  TemporaryInstance(const TemporaryInstance&) = delete;
  TemporaryInstance& operator=(const TemporaryInstance&) = delete;

  const std::string& dir() const { return dir_; }
  const SystemDescription& system() const { return system_; }

 private:
  friend std::unique_ptr<TemporaryInstance> BuildInstance(std::string_view, std::string*);
  TemporaryInstance() = default;

  std::string dir_;
  bool rundir_set_ = false;
  std::optional<std::string> old_rundir_;
  SystemDescription system_;
};

/// Builds a temporary instance from the JSON description `json`. Returns it, or null with a
/// message in `*error` (may be null).
std::unique_ptr<TemporaryInstance> BuildInstance(std::string_view json,
                                                 std::string* error = nullptr);

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_INSTANCE_H_
