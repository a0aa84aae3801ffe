#include <windows.h>
// <aclapi.h> after <windows.h>, which it needs.
#include <aclapi.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/file_security_win32.h"
#include "platform/file_system.h"
#include "platform/owned_handle_win32.h"

namespace kestrum {
namespace {

// The user id of a process whose token cannot be read: it matches no file's owner.
constexpr std::uint32_t kUnreadUserId = 0xFFFFFFFD;

// What the system allocates with LocalAlloc (a security descriptor), freed when it goes.
struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

// A security identifier kept in bytes of its own.
using SidBytes = std::vector<unsigned char>;

SidBytes CopyOfSid(PSID sid) {
  SidBytes bytes(GetLengthSid(sid));
  if (!CopySid(static_cast<DWORD>(bytes.size()), bytes.data(), sid)) bytes.clear();
  return bytes;
}

// One part of the process token's information, or nothing when it cannot be read.
std::vector<unsigned char> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part) {
  DWORD size = 0;
  GetTokenInformation(token, part, nullptr, 0, &size);
  std::vector<unsigned char> bytes(size);
  if (size == 0 || !GetTokenInformation(token, part, bytes.data(), size, &size)) bytes.clear();
  return bytes;
}

// Who this process is as the owner checks ask: the token's user, and the owner the token gives
// the objects the process creates (the user itself, or the Administrators group for an elevated
// administrator). Read once; empty when the token cannot be read.
struct TokenOwners {
  SidBytes user;
  SidBytes default_owner;
};

const TokenOwners& ThisProcess() {
  static const TokenOwners owners = [] {
    TokenOwners read;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return read;
    const OwnedHandle held(token);
    const std::vector<unsigned char> user = TokenPart(token, TokenUser);
    const std::vector<unsigned char> owner = TokenPart(token, TokenOwner);
    if (user.empty() || owner.empty()) return read;
    read.user = CopyOfSid(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
    read.default_owner = CopyOfSid(reinterpret_cast<const TOKEN_OWNER*>(owner.data())->Owner);
    return read;
  }();
  return owners;
}

bool SameSid(const SidBytes& bytes, PSID sid) {
  return !bytes.empty() && EqualSid(const_cast<unsigned char*>(bytes.data()), sid);
}

// The groups every signed-in user belongs to.
bool IsEveryUsersGroup(PSID sid) {
  static const std::vector<SidBytes> groups = [] {
    std::vector<SidBytes> made;
    for (WELL_KNOWN_SID_TYPE type :
         {WinWorldSid, WinAuthenticatedUserSid, WinBuiltinUsersSid, WinInteractiveSid}) {
      SidBytes bytes(SECURITY_MAX_SID_SIZE);
      DWORD size = static_cast<DWORD>(bytes.size());
      if (CreateWellKnownSid(type, nullptr, bytes.data(), &size)) {
        bytes.resize(size);
        made.push_back(bytes);
      }
    }
    return made;
  }();
  for (const SidBytes& group : groups) {
    if (SameSid(group, sid)) return true;
  }
  return false;
}

}  // namespace

std::uint32_t EffectiveUserId() {
  const SidBytes& user = ThisProcess().user;
  if (user.empty()) return kUnreadUserId;
  PSID sid = const_cast<unsigned char*>(user.data());
  const UCHAR parts = *GetSidSubAuthorityCount(sid);
  return parts == 0 ? kUnreadUserId
                    : static_cast<std::uint32_t>(*GetSidSubAuthority(sid, parts - 1));
}

std::uint32_t OwnerIdOf(void* handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return kOtherUserId;
  }
  const LocalMemory held(descriptor);
  const TokenOwners& self = ThisProcess();
  if (owner != nullptr && (SameSid(self.user, owner) || SameSid(self.default_owner, owner))) {
    return EffectiveUserId();
  }
  return kOtherUserId;
}

bool AnyUserMay(void* handle, std::uint32_t rights) {
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const LocalMemory held(descriptor);
  if (list == nullptr) return true;  // a null access list lets everyone do everything
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  // The entries are taken in order: the first that names a right grants or denies it.
  DWORD granted = 0;
  DWORD denied = 0;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(list, i, &entry)) return false;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) {
      continue;
    }
    // Allowed and denied entries have the same layout.
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (!IsEveryUsersGroup(&ace->SidStart)) continue;
    DWORD mask = ace->Mask;
    MapGenericMask(&mask, &mapping);
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      granted |= mask & ~denied;
    } else {
      denied |= mask & ~granted;
    }
  }
  return (granted & rights) == rights;
}

}  // namespace kestrum
