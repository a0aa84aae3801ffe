#include "platform/registry_watch.h"

#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error_number.h"

namespace kestrum {
namespace {

constexpr uint32_t kChangeEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE |
                                   IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF |
                                   IN_MOVE_SELF;

bool IsSubFolder(const std::string& folder, const char* name) {
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  struct stat st;
  return stat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

RegistryWatch::~RegistryWatch() { close(fd_); }

int RegistryWatch::AddFolder(const std::string& folder) {
  int wd = inotify_add_watch(fd_, folder.c_str(), kChangeEvents | IN_ONLYDIR);
  if (wd < 0) return errno;
  folders_[wd] = folder;
  if (!subtree_) return 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (IsSubFolder(folder, entry->d_name)) AddFolder(folder + "/" + entry->d_name);
    }
    closedir(dir);
  }
  return 0;
}

// Reads every pending event; true when there was at least one. New sub-folders of a watched
// subtree are watched from now on.
bool RegistryWatch::TakeEvents() {
  alignas(inotify_event) char buffer[4096];
  bool changed = false;
  for (;;) {
    ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) return changed;
    for (ssize_t at = 0; at < got;) {
      auto* event = reinterpret_cast<inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_IGNORED) {
        folders_.erase(event->wd);
        continue;
      }
      changed = true;
      bool new_folder = (event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO));
      auto folder = folders_.find(event->wd);
      if (subtree_ && new_folder && event->len && folder != folders_.end()) {
        AddFolder(folder->second + "/" + event->name);
      }
    }
  }
}

int RegistryWatch::Wait(int timeout_ms) {
  pollfd entry{fd_, POLLIN, 0};
  for (;;) {
    int ready = poll(&entry, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return FailFromErrno();
    if (ready == 0) return 0;
    if (TakeEvents()) return 1;
    // Only bookkeeping events arrived; keep waiting for the rest of the time-out only when
    // there is no limit, otherwise report the time-out as the caller asked for no more.
    if (timeout_ms >= 0) return 0;
  }
}

int RegWatchKey(RegKey key, bool subtree, std::unique_ptr<RegistryWatch>* watch) {
  if (!watch) return EINVAL;
  std::string folder = RegKeyFolder(key);
  if (folder.empty()) return ENOENT;
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return errno;
  std::unique_ptr<RegistryWatch> made(new RegistryWatch(fd, subtree));
  if (int rc = made->AddFolder(folder)) return rc;
  *watch = std::move(made);
  return 0;
}

}  // namespace kestrum
