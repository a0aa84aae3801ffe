// What a channel id is: the text of a Channel element's "id" attribute, read the same way by the
// compiler that sizes and checks a channel file and by the loader that selects channels from it.
#ifndef PARVEX_CONFIG_CHANNEL_ID_H_
#define PARVEX_CONFIG_CHANNEL_ID_H_

#include <string>

namespace kestrum {

/// The highest channel id a channel file may hold.
inline constexpr int kMaxChannelId = 62500;

/// Reads `text` as a channel id: decimal digits only (leading zeros allowed; no sign, blank,
/// fraction, exponent or hex prefix), of value 1 to kMaxChannelId. Returns the id, or -1 with
/// EINVAL as the error number.
int ParseChannelId(const char* text);

/// Returns the XPath query, relative to a channel file's root, that selects the Channel
/// elements whose id ParseChannelId reads as `id`.
std::string ChannelIdQuery(int id);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_CHANNEL_ID_H_
