#include "tools/cf_host/module_link.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace parvex {
namespace {

template <typename F>
bool Resolve(QLibrary& library, const char* name, F* entry, QString* error) {
  *entry = reinterpret_cast<F>(library.resolve(name));
  if (*entry == nullptr) *error = QString("%1 has no entry point %2").arg(library.fileName(), name);
  return *entry != nullptr;
}

}  // namespace

bool ModuleLink::Load(const QString& file, QString* error) {
  library_.setFileName(file);
  if (!library_.load()) {
    *error = library_.errorString();
    return false;
  }
  return Resolve(library_, "DLL_ConfigAdvanDevSpecific", &advanced, error) &&
         Resolve(library_, "DLL_ConfigChanDevSpecific", &channel, error) &&
         Resolve(library_, "PrintAllConfig", &print_all, error) &&
         Resolve(library_, "PrintConfig", &print, error) &&
         Resolve(library_, "DLL_SetDefaultComPort", &set_default_port, error);
}

QString DefaultModuleFile(const QString& file_name, const QString& built) {
  const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(file_name);
  return QFileInfo::exists(beside) ? beside : built;
}

}  // namespace parvex
