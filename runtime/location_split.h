// Splitting location texts (URLs such as "http://user:pw@host:8080/path?x") into their parts,
// and telling what kind of place a location names.
#ifndef PARVEX_RUNTIME_LOCATION_SPLIT_H_
#define PARVEX_RUNTIME_LOCATION_SPLIT_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrum {

// Scheme numbers of a split location.
inline constexpr int kSchemeUnknown = -1;
inline constexpr int kSchemeFtp = 1;
inline constexpr int kSchemeHttp = 3;
inline constexpr int kSchemeHttps = 4;
inline constexpr int kSchemeFile = 5;

/// SplitLocation flag: replace %xx escapes in the parts by the characters they stand for.
inline constexpr uint32_t kSplitDecode = 0x10000000;

/// Texts this long or longer are not split.
inline constexpr size_t kMaxLocationText = 1284;

/// The parts of a location. Parts the text does not have are empty (port 0 unless the scheme
/// has a default: 21 ftp, 80 http, 443 https).
struct LocationParts {
  std::string scheme;  ///< as written, e.g. "http"
  int scheme_type = kSchemeUnknown;
  std::string host;  ///< without the brackets of an IPv6 address
  int port = 0;
  std::string user;
  std::string password;
  std::string path;   ///< "/dir/file" (starts with "/" when the location has a host)
  std::string extra;  ///< "?query#fragment"
};

/// Splits the first `length` characters of `text` (0: up to its NUL) into `*parts`. A password
/// may hold at signs ("ftp://op:p@ss@host/" gives the password "p@ss"): every at sign between
/// the user's ":" and the last at sign belongs to the password. Returns 1, or 0 when the text is
/// null, has kMaxLocationText characters or more, has no scheme or is not a well-formed URL.
int SplitLocation(const char* text, size_t length, uint32_t flags, LocationParts* parts);

// Kinds of location given by ClassifyLocation.
inline constexpr int kLocationLocal = 1;
inline constexpr int kLocationRemoteHost = 2;
inline constexpr int kLocationFile = 3;
inline constexpr int kLocationWeb = 4;

/// Returns kLocationLocal when `text` names this computer (IsLocalHost) or cannot be split,
/// kLocationWeb for http and https, kLocationFile for file, kLocationRemoteHost when another
/// scheme has a host, else kLocationLocal.
int ClassifyLocation(const char* text);

}  // namespace kestrum

#endif  // PARVEX_RUNTIME_LOCATION_SPLIT_H_
