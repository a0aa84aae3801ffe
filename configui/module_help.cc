#include "configui/module_help.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace parvex {
namespace {

std::function<void(const std::string&)>& Viewer() {
  static std::function<void(const std::string&)> viewer;
  return viewer;
}

void ShowWithDesktop(const std::string& topic) {
  size_t split = topic.find("::/");
  if (split == std::string::npos) return;
  QString file = QString::fromStdString(topic.substr(0, split));
  QString page = QString::fromStdString(topic.substr(split + 3));
  QFileInfo info(file);
  if (info.isDir()) {
    QFileInfo html(file + "/" + page);
    if (html.isFile()) QDesktopServices::openUrl(QUrl::fromLocalFile(html.absoluteFilePath()));
    return;
  }
  if (!info.isFile()) return;
  for (const char* program : {"xchm", "kchmviewer"}) {
    QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) continue;
    QProcess::startDetached(path, {"file:" + file + "#/" + page});
    return;
  }
}

// Kept from load to unload: the only state besides the print-out's page position.
const std::string g_help_path = HelpFilePath(LoadedFileOf(reinterpret_cast<const void*>(&Viewer)));

}  // namespace

std::string HelpFilePath(std::string_view module_path) {
  size_t slash = module_path.rfind('/');
  size_t dot = module_path.rfind('.');
  std::string path(module_path);
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    path.resize(dot);
  }
  return path + ".chm";
}

std::string LoadedFileOf(const void* address) {
  auto wanted = reinterpret_cast<uintptr_t>(address);
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    uintptr_t low = 0;
    uintptr_t high = 0;
    if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR, &low, &high) != 2) continue;
    if (wanted < low || wanted >= high) continue;
    size_t path = line.find('/');
    return path == std::string::npos ? "" : line.substr(path);
  }
  return "";
}

const std::string& ModuleHelpPath() { return g_help_path; }

void ShowHelpTopic(const std::string& topic) {
  if (Viewer()) {
    Viewer()(topic);
  } else {
    ShowWithDesktop(topic);
  }
}

void SetHelpViewer(std::function<void(const std::string& topic)> viewer) {
  Viewer() = std::move(viewer);
}

}  // namespace parvex
