#include "tools/cf_host/host_commands.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "configui/text_printer.h"
#include "tools/cf_host/pdf_printer.h"

namespace parvex {
namespace {

// For scripted runs: once the module's dialog is up, save its picture and close it. Gives up
// after ten seconds so that a dialog that never shows cannot keep the tool waiting.
void ScriptDialog(const HostOptions& options) {
  if (options.screenshot.empty() && !options.accept) return;
  auto* timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(1000);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, options] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr && --*tries > 0) return;
    timer->stop();
    timer->deleteLater();
    if (dialog == nullptr) return;
    if (!options.screenshot.empty() &&
        !dialog->grab().save(QString::fromStdString(options.screenshot), "PNG")) {
      std::cerr << "parvex_cf_host: cannot write " << options.screenshot << "\n";
    }
    options.accept ? dialog->accept() : dialog->reject();
  });
  timer->start(10);
}

int PrintFailed() {
  std::cerr << "parvex_cf_host: the print-out failed (a block has no channels, a channel file "
               "is short, the server is not this machine, the default port name COM<number> "
               "does not fit, or the printer refused a page)\n";
  return 1;
}

}  // namespace

void RunQtDialog(const HostOptions& options, const std::function<void()>& show_dialog) {
  ScriptDialog(options);
  show_dialog();
}

int RunPrint(const ModuleEntryPoints& module, const HostOptions& options,
             const PrintOptions& print) {
  DeviceFolder folder;
  ParvexDeviceEntry entry;
  if (!LoadDevice(options, &folder, &entry)) return 1;
  ParvexChannelRecord* arrays[PARVEX_CHANNEL_BLOCKS] = {};
  for (int i = 0; i < PARVEX_CHANNEL_BLOCKS; ++i) {
    arrays[i] = folder.channels[i].empty() ? nullptr : folder.channels[i].data();
  }
  uint8_t* block = print.stored ? nullptr : entry.Config.Bytes;
  auto run = [&](ParvexPrinter& printer) {
    return module.print_all(&printer, print.server.c_str(), &entry, folder.auto_enable,
                            folder.save_outputs, folder.save_by_tag, folder.save_rate, block,
                            arrays);
  };
  // One print-out per run: the module keeps its page position from one print-out to the next.
  if (!print.pdf.empty()) {
    PdfPrinter pdf(QString::fromStdString(print.pdf));
    ParvexPrinter context = pdf.context();
    int result = run(context);
    if (!pdf.Finish()) {
      std::cerr << "parvex_cf_host: cannot write " << print.pdf << ": " << pdf.error().toStdString()
                << "\n";
      return 1;
    }
    if (result < 0) return PrintFailed();
    std::cout << print.pdf << ": " << pdf.pages() << " page(s)\n";
    return 0;
  }
  TextPrinter text(TextPrinter::Geometry{10, 10 * print.lines_per_page, 0, 0});
  ParvexPrinter context = text.context();
  if (run(context) < 0) return PrintFailed();
  if (print.text.empty() || print.text == "-") {
    std::cout << text.Text();
  } else if (!(std::ofstream(print.text, std::ios::binary) << text.Text())) {
    std::cerr << "parvex_cf_host: cannot write " << print.text << "\n";
    return 1;
  }
  return 0;
}

}  // namespace parvex
