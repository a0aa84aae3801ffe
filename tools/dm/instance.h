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

/// Creates the instance of `system`: on Linux in this process's instance directory
/// (InstanceDir()), the directory (mode 0770) and its folders "shm/Global/Global",
/// "mailslot/process", "dev" and "bin"; on both platforms the areas "dm_device", "dm_datproc",
/// "dm_loggers" and "dm_errors"; and, for every channel prefix, its channel table, "_conf" and
/// "_event" areas, each with its mutex. Returns 0, or -1 with a message in `*error` (may be null).
int CreateInstance(const SystemDescription& system, std::string* error);

/// Removes the instance directory `dir` and everything in it. Returns 0 or -1. (On Windows an
/// instance's objects go when the process that created them ends.)
int RemoveInstance(const std::string& dir);

/// The environment variable in which a TemporaryInstance on Windows names its object-name
/// prefix (SetObjectNamePrefixForTests) for the test programs it starts, which set it in turn.
inline constexpr char kTestObjectPrefixVariable[] = "PARVEX_TEST_OBJECT_PREFIX";

/// An instance for tests, with a fresh temporary folder for its files, removed on destruction.
/// On Linux the folder is the instance directory: KESTRUM_RUNDIR points at it while the
/// instance lives. On Windows, where an instance is the objects of the machine (of the wine
/// prefix under wine), the instance's objects get a name prefix of their own
/// (SetObjectNamePrefixForTests, also named in kTestObjectPrefixVariable), so that the cases
/// of one test program each see their own. Both are restored afterwards. Windows objects live
/// until the process ends.
class TemporaryInstance {
 public:
  ~TemporaryInstance();
  TemporaryInstance(const TemporaryInstance&) = delete;
  TemporaryInstance& operator=(const TemporaryInstance&) = delete;

  const std::string& dir() const { return dir_; }
  const SystemDescription& system() const { return system_; }

  /// Points this process at the instance (`selected`, as after BuildInstance) or at an empty
  /// instance beside it, which has no objects (not `selected`).
  void Select(bool selected);

 private:
  friend std::unique_ptr<TemporaryInstance> BuildInstance(std::string_view, std::string*);
  TemporaryInstance() = default;

  std::string dir_;
  bool selected_ = false;                    // the variables below hold what to restore
  std::optional<std::string> old_variable_;  // KESTRUM_RUNDIR, or kTestObjectPrefixVariable
  std::string old_prefix_;                   // Windows: the object-name prefix
  SystemDescription system_;
};

/// Builds a temporary instance from the JSON description `json`. Returns it, or null with a
/// message in `*error` (may be null).
std::unique_ptr<TemporaryInstance> BuildInstance(std::string_view json,
                                                 std::string* error = nullptr);

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_INSTANCE_H_
