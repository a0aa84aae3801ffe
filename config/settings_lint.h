// The compiler's look at the XML forms of a device folder for what loads without complaint but
// does not do what its writer meant: elements the loaders do not know (a misspelt name is
// ignored, its field left zero) and texts longer than their field (cut without a word).
#ifndef PARVEX_CONFIG_SETTINGS_LINT_H_
#define PARVEX_CONFIG_SETTINGS_LINT_H_

#include <string>
#include <string_view>
#include <vector>

#include "config/channel_config.h"
#include "config/device_config.h"
#include "config/folder_findings.h"

namespace kestrum {

/// Looks at "config.xml" and every "<kind>.xml" of `folder` that exists, with the field
/// descriptions the loaders use (`device`, `channel`: the folder module's entry points, or the
/// built-in ones). Appends, as "file:line: message": a warning for every element no field
/// description names, with the nearest known name when one is close ("did you mean
/// <PortName>?"); an error for every text longer than its field holds. A file that does not
/// parse is left to the loaders' own message.
void LintConfigFolder(const std::string& folder, const DeviceConfigHooks& device,
                      const ChannelConfigHooks& channel, FolderFindings* findings);

/// The known name nearest to `name` by edit distance (letter case ignored), or "" when none is
/// within about a third of the name's length.
std::string NearestName(std::string_view name, const std::vector<std::string>& known);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_SETTINGS_LINT_H_
