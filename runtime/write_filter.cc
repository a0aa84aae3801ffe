#include "runtime/write_filter.h"

#include "platform/error_number.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "runtime/install_roots.h"

namespace kestrum {
namespace {

// Per process: the commit step ran; this process disabled the filter.
bool g_commit_step_done = false;
bool g_disabled_here = false;

// Runs the write-filter tool and waits for it; its exit code is not judged (the tool reports
// its own problems), only whether it could be started.
bool RunFilterTool(const char* action, bool live) {
  std::vector<std::string> argv = {"ewfmgr", "c:", action};
  if (live) argv.push_back("-live");
  if (RunProcess(argv, nullptr) == 0) return true;
  SetLastPlatformError(GetErrorNumber());
  return false;
}

}  // namespace

int BeginProtectedWrite() {
  if (!IsEmbeddedController() || g_commit_step_done) return 1;
  RegKey key = nullptr;
  uint32_t disposition = 0;
  if (RegCreateKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\EWF", kRegOptionVolatile,
                   kKeySetValue, nullptr, &key, &disposition) == 0) {
    RegCloseKey(key);
    if (disposition == kRegCreatedNewKey) {
      if (!RunFilterTool("-commitanddisable", true)) {
        // Let the next write try again: remove the key this process made.
        RegDeleteKey(RegHiveKey(RegHive::kLocalMachine), "SOFTWARE\\EWF");
        return 0;
      }
      g_disabled_here = true;
    }
  }
  g_commit_step_done = true;
  return 1;
}

int EndProtectedWrite() {
  if (!IsEmbeddedController() || !g_disabled_here) return 1;
  if (!RunFilterTool("-enable", false)) return 0;
  g_disabled_here = false;
  return 1;
}

}  // namespace kestrum
