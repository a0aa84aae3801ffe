#include "config/channel_id.h"

#include <cerrno>

#include "platform/error_number.h"

namespace kestrum {

int ParseChannelId(const char* text) {
  if (text == nullptr || *text == '\0') return FailWith(EINVAL);
  long id = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return FailWith(EINVAL);
    id = id * 10 + (*p - '0');
    if (id > kMaxChannelId) return FailWith(EINVAL);
  }
  return id == 0 ? FailWith(EINVAL) : static_cast<int>(id);
}

std::string ChannelIdQuery(int id) {
  // Numeric equality alone would also take "2.0" or " 2" for 2; requiring digits only makes
  // the query select exactly the texts ParseChannelId reads as `id`.
  return "Channel[@id=" + std::to_string(id) + " and translate(@id,'0123456789','')='']";
}

}  // namespace kestrum
