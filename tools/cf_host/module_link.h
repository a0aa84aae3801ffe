// The configuration module loaded the way the configuration tool loads it: by file, with its
// entry points looked up by name.
#ifndef PARVEX_TOOLS_CF_HOST_MODULE_LINK_H_
#define PARVEX_TOOLS_CF_HOST_MODULE_LINK_H_

#include <QLibrary>
#include <QString>

#include "tools/cf_host/host_dialogs.h"

namespace parvex {

/// The module's five entry points. Load() fills them; the library stays loaded while the
/// object lives.
struct ModuleLink : ModuleEntryPoints {
  /// Loads `file` and looks up every entry point. Returns false with `*error` set when the
  /// file cannot be loaded or an entry point is missing.
  bool Load(const QString& file, QString* error);

 private:
  QLibrary library_;
};

/// The module the host loads without --module: `file_name` in the host's own folder (where an
/// installation puts both), else `built`, the module where it was built. Needs the
/// QCoreApplication.
QString DefaultModuleFile(const QString& file_name, const QString& built);

}  // namespace parvex

#endif  // PARVEX_TOOLS_CF_HOST_MODULE_LINK_H_
