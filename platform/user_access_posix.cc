#include "platform/user_access.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace kestrum {
namespace {

// The groups of `user`: its primary group and its supplementary groups; none when the user
// database has no entry for it.
std::vector<gid_t> GroupsOf(std::uint32_t user) {
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
  passwd entry;
  passwd* found = nullptr;
  while (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr) return {};
  std::vector<gid_t> groups(16);
  int count = static_cast<int>(groups.size());
  while (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count) > groups.size() ? static_cast<std::size_t>(count)
                                                                  : groups.size() * 2);
    count = static_cast<int>(groups.size());
  }
  groups.resize(static_cast<std::size_t>(count));
  return groups;
}

}  // namespace

bool UserMayAccess(std::uint32_t user, const FileInfo& target, int access) {
  if (user == 0) return true;
  int shift = 0;  // the other bits
  if (user == kAnyUser) {
    // owns nothing, in no group: the other bits
  } else if (target.owner == user) {
    shift = 6;
  } else {
    const std::vector<gid_t> groups = GroupsOf(user);
    if (std::find(groups.begin(), groups.end(), target.group) != groups.end()) shift = 3;
  }
  const unsigned granted = (target.permissions >> shift) & 07;
  unsigned wanted = 0;
  if (access & kAccessRead) wanted |= 04;
  if (access & kAccessWrite) wanted |= 02;
  if (access & kAccessExecute) wanted |= 01;
  return (granted & wanted) == wanted;
}

}  // namespace kestrum
