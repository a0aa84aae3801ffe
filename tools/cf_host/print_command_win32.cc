#include "tools/cf_host/print_command_win32.h"

#include <windows.h>

#include <iostream>
#include <memory>
#include <type_traits>

namespace parvex {
namespace {

struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// A font selected into a device context while it lives; the context's font is put back after.
class SelectedFont {
 public:
  SelectedFont(HDC dc, HFONT font) : dc_(dc), font_(font) {
    previous_ = font_ ? SelectObject(dc_, font_) : nullptr;
  }
  ~SelectedFont() {
    if (previous_) SelectObject(dc_, previous_);
    if (font_) DeleteObject(font_);
  }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;
  bool ok() const { return previous_ != nullptr; }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ previous_ = nullptr;
};

// One print job on the context: the document is ended (or, after a failure, abandoned) when it
// goes.
class PrintJob {
 public:
  PrintJob(HDC dc, const std::string& output) : dc_(dc) {
    DOCINFOA document{sizeof document, "Particle counter configuration",
                      output.empty() ? nullptr : output.c_str(), nullptr, 0};
    started_ = StartDocA(dc_, &document) > 0;
  }
  ~PrintJob() {
    if (started_) AbortDoc(dc_);
  }
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;
  bool started() const { return started_; }
  /// Ends the document; false when the printer refuses.
  bool End() {
    started_ = false;
    return EndDoc(dc_) > 0;
  }

 private:
  HDC dc_;
  bool started_ = false;
};

std::string DefaultPrinter() {
  DWORD size = 0;
  GetDefaultPrinterA(nullptr, &size);
  std::string name(size, '\0');
  if (size == 0 || !GetDefaultPrinterA(name.data(), &size)) return std::string();
  name.resize(size > 0 ? size - 1 : 0);
  return name;
}

int Fail(const std::string& what) {
  std::cerr << "parvex_cf_host: " << what << " (error " << GetLastError() << ")\n";
  return 1;
}

}  // namespace

int RunWindowsPrint(decltype(&PrintAllConfig) print_all, const DeviceFolder& folder,
                    ParvexDeviceEntry& entry, const WindowsPrintOptions& options) {
  std::string printer = options.printer.empty() ? DefaultPrinter() : options.printer;
  if (printer.empty()) {
    std::cerr << "parvex_cf_host: no printer named and no default printer\n";
    return 1;
  }
  UniqueDc dc(CreateDCA(nullptr, printer.c_str(), nullptr, nullptr));
  if (!dc) return Fail("cannot open the printer \"" + printer + "\"");
  int height = -MulDiv(options.point_size, GetDeviceCaps(dc.get(), LOGPIXELSY), 72);
  SelectedFont font(dc.get(), CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET,
                                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                          FIXED_PITCH | FF_MODERN, "Courier New"));
  if (!font.ok()) return Fail("cannot select a fixed-pitch font");

  ParvexChannelRecord* arrays[PARVEX_CHANNEL_BLOCKS] = {};
  for (int i = 0; i < PARVEX_CHANNEL_BLOCKS; ++i) {
    arrays[i] = folder.channels[i].empty()
                    ? nullptr
                    : const_cast<ParvexChannelRecord*>(folder.channels[i].data());
  }
  uint8_t* block = options.stored ? nullptr : entry.Config.Bytes;
  PrintJob job(dc.get(), options.output);
  if (!job.started()) return Fail("the printer refused the document");
  // One print-out per document: the module keeps its page position from one to the next.
  int result = print_all(dc.get(), options.server.c_str(), &entry, folder.auto_enable,
                         folder.save_outputs, folder.save_by_tag, folder.save_rate, block, arrays);
  if (result < 0) {
    std::cerr << "parvex_cf_host: the print-out failed (a block has no channels, a channel file "
                 "is missing, the stored configuration cannot be read, the default port name "
                 "does not fit, or the printer refused a page)\n";
    return 1;
  }
  // The print-out's result is its next line: 1 after its last form feed ended the page. Any
  // other result (a last DISABLED line, or no block in use) leaves the page open: the host
  // ends it, as the document ends here.
  if (result != 1 && EndPage(dc.get()) <= 0) return Fail("the printer refused to end the page");
  if (!job.End()) return Fail("the printer refused to end the document");
  std::cout << (options.output.empty() ? printer : options.output) << ": printed\n";
  return 0;
}

}  // namespace parvex
