#include "runtime/location_split.h"

#include <uriparser/Uri.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "records/text_case.h"
#include "runtime/install_roots.h"

namespace kestrum {
namespace {

// Stands for an at sign of the password while the URL parser sees the text; the parser takes
// "&" in user information as an ordinary character.
constexpr char kAtStandIn = '&';

std::string RangeText(const UriTextRangeA& range) {
  if (!range.first || !range.afterLast) return "";
  return std::string(range.first, range.afterLast);
}

int SchemeType(const std::string& scheme) {
  struct Known {
    const char* name;
    int type;
  };
  static constexpr Known kKnown[] = {
      {"ftp", kSchemeFtp}, {"http", kSchemeHttp}, {"https", kSchemeHttps}, {"file", kSchemeFile}};
  for (const Known& known : kKnown) {
    if (CompareIgnoringCase(scheme.c_str(), known.name) == 0) return known.type;
  }
  return kSchemeUnknown;
}

int DefaultPort(int scheme_type) {
  switch (scheme_type) {
    case kSchemeFtp:
      return 21;
    case kSchemeHttp:
      return 80;
    case kSchemeHttps:
      return 443;
    default:
      return 0;
  }
}

// Replaces the password's at signs (those after the user's ":" and before the last at sign) by
// the stand-in; returns their positions within the password.
std::vector<size_t> HidePasswordAtSigns(std::string* text) {
  std::vector<size_t> hidden;
  size_t last_at = text->rfind('@');
  if (last_at == std::string::npos) return hidden;
  size_t start = text->find("://");
  start = (start == std::string::npos || start > last_at) ? 0 : start + 3;
  size_t colon = text->find(':', start);
  if (colon == std::string::npos || colon > last_at) return hidden;
  for (size_t at = text->find('@', colon); at < last_at; at = text->find('@', at + 1)) {
    (*text)[at] = kAtStandIn;
    hidden.push_back(at - colon - 1);
  }
  return hidden;
}

std::string Unescaped(std::string text) {
  if (text.empty()) return text;
  const char* end = uriUnescapeInPlaceExA(text.data(), URI_FALSE, URI_BR_DONT_TOUCH);
  text.resize(static_cast<size_t>(end - text.data()));
  return text;
}

void FillParts(const UriUriA& uri, LocationParts* parts) {
  parts->scheme = RangeText(uri.scheme);
  parts->scheme_type = SchemeType(parts->scheme);
  parts->host = RangeText(uri.hostText);
  std::string port = RangeText(uri.portText);
  parts->port = port.empty() ? DefaultPort(parts->scheme_type) : std::atoi(port.c_str());
  std::string user_info = RangeText(uri.userInfo);
  size_t colon = user_info.find(':');
  parts->user = user_info.substr(0, colon);
  parts->password = colon == std::string::npos ? "" : user_info.substr(colon + 1);
  parts->path.clear();
  bool rooted = uri.absolutePath || uri.hostText.first != nullptr;
  for (const UriPathSegmentA* segment = uri.pathHead; segment; segment = segment->next) {
    if (rooted || segment != uri.pathHead) parts->path += '/';
    parts->path += RangeText(segment->text);
  }
  if (parts->path.empty() && uri.absolutePath) parts->path = "/";
  parts->extra.clear();
  if (uri.query.first) parts->extra += "?" + RangeText(uri.query);
  if (uri.fragment.first) parts->extra += "#" + RangeText(uri.fragment);
}

}  // namespace

int SplitLocation(const char* text, size_t length, uint32_t flags, LocationParts* parts) {
  if (!text || !parts) return 0;
  if (length == 0) length = std::strlen(text);
  if (length >= kMaxLocationText) return 0;
  std::string copy(text, strnlen(text, length));
  std::vector<size_t> hidden = HidePasswordAtSigns(&copy);

  UriUriA uri;
  const char* error_at = nullptr;
  if (uriParseSingleUriExA(&uri, copy.data(), copy.data() + copy.size(), &error_at) !=
      URI_SUCCESS) {
    return 0;
  }
  bool has_scheme = uri.scheme.first != nullptr;
  if (has_scheme) FillParts(uri, parts);
  uriFreeUriMembersA(&uri);
  if (!has_scheme) return 0;

  for (size_t at : hidden) {
    if (at < parts->password.size() && parts->password[at] == kAtStandIn) {
      parts->password[at] = '@';
    }
  }
  if (flags & kSplitDecode) {
    for (std::string* part :
         {&parts->host, &parts->user, &parts->password, &parts->path, &parts->extra}) {
      *part = Unescaped(*part);
    }
  }
  return 1;
}

int ClassifyLocation(const char* text) {
  if (IsLocalHost(text)) return kLocationLocal;
  LocationParts parts;
  if (!SplitLocation(text, 0, 0, &parts)) return kLocationLocal;
  if (parts.scheme_type == kSchemeHttp || parts.scheme_type == kSchemeHttps) {
    return kLocationWeb;
  }
  if (parts.scheme_type == kSchemeFile) return kLocationFile;
  return parts.host.empty() ? kLocationLocal : kLocationRemoteHost;
}

}  // namespace kestrum
