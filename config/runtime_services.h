// The runtime services the configuration loaders use, gathered in one place: whether
// configuration is read from XML files, the program folder searched for extension modules, and
// the system event log.
#ifndef PARVEX_CONFIG_RUNTIME_SERVICES_H_
#define PARVEX_CONFIG_RUNTIME_SERVICES_H_

#include <string>

namespace kestrum {

/// Returns true when configuration is read from XML files for the machine that holds `folder`
/// (UseXmlConfiguration).
bool ConfigUseXml(const std::string& folder);

/// Returns the program folder (the location "KSM_BIN"), or "" when it cannot be resolved.
std::string ConfigProgramFolder();

/// Reports a configuration error to the local system event log as an error event, unless the
/// process switched such reports off.
void ConfigReportError(const std::string& text);

/// Switches the event reports of configuration errors on (the default) or off, for programs
/// that show the errors themselves (the configuration compiler).
void SetConfigErrorEvents(bool on);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_RUNTIME_SERVICES_H_
