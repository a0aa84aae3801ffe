// The print-out on a real device context: the PostScript driver's printer, printing into a
// file, and an enhanced metafile recorded with that printer as its reference device. The text
// the print-out draws is read back from the metafile and compared, page by page and position
// by position, with the golden print-outs that the plain-text printer gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "configui/gdi_printer.h"
#include "configui/parvex_cf.h"
#include "configui/print_out.h"
#include "configui/text_printer.h"
#include "golden_devices.h"

// After the module's headers: <windows.h> renames TextOut, an operation of the printers.
#include <windows.h>

namespace parvex {
namespace {

constexpr char kPrinterName[] = "Parvex Test PostScript";
constexpr char kDriverName[] = "Parvex Test PostScript Driver";

// An A4 PostScript printer at 300 dpi: 3508 device units high, printable area offset by 75
// (x) and 150 (y) units.
constexpr char kPrinterDescription[] = R"ppd(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PARVEXPS.PPD"
*Manufacturer: "Parvex"
*Product: "(Parvex Test PostScript)"
*ModelName: "Parvex Test PostScript"
*ShortNickName: "Parvex Test PostScript"
*NickName: "Parvex Test PostScript"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*DefaultResolution: 300dpi
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4/A4: "18 36 577 806"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
*DefaultFont: Courier
*Font Courier: Standard "(001.004)" Standard ROM
)ppd";

std::string TempPath(const char* name) {
  char folder[MAX_PATH];
  DWORD length = GetTempPathA(sizeof folder, folder);
  return std::string(folder, length) + name;
}

// Installs the PostScript driver with the description above and a printer on it, once per
// process. Returns "" or what failed.
std::string InstallTestPrinter() {
  static const std::string failure = [] {
    std::string ppd = TempPath("parvex_test_printer.ppd");
    std::ofstream(ppd, std::ios::binary) << kPrinterDescription;
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<char*>(kDriverName);
    driver.pDriverPath = const_cast<char*>("wineps.drv");
    driver.pDataFile = ppd.data();
    driver.pConfigFile = const_cast<char*>("wineps.drv");
    if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                             APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
      return "AddPrinterDriverEx: error " + std::to_string(GetLastError());
    }
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(kPrinterName);
    info.pPortName = const_cast<char*>("FILE:");
    info.pDriverName = const_cast<char*>(kDriverName);
    info.pPrintProcessor = const_cast<char*>("winprint");
    info.pDatatype = const_cast<char*>("RAW");
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (printer == nullptr && GetLastError() != ERROR_PRINTER_ALREADY_EXISTS) {
      return "AddPrinter: error " + std::to_string(GetLastError());
    }
    if (printer != nullptr) ClosePrinter(printer);
    return std::string();
  }();
  return failure;
}

// One RAII owner per handle kind.
struct DcCloser {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcCloser>;
struct FontCloser {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontCloser>;

// The lines per page of the golden print-outs.
constexpr int kGoldenLinesPerPage = 20;

// A fixed-pitch font whose line height gives the printer's page as many lines as the golden
// print-outs have, selected into `dc`; null when none does.
UniqueFont SelectGoldenFont(HDC dc) {
  int usable = GetDeviceCaps(dc, PHYSICALHEIGHT) - 6 * GetDeviceCaps(dc, PHYSICALOFFSETY);
  for (int height = usable / (kGoldenLinesPerPage + 1); height <= usable / 4; ++height) {
    UniqueFont font(CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                FIXED_PITCH | FF_MODERN, "Courier New"));
    SelectObject(dc, font.get());
    TEXTMETRICA metrics;
    if (GetTextMetricsA(dc, &metrics) && metrics.tmHeight > 0 &&
        usable / metrics.tmHeight == kGoldenLinesPerPage) {
      return font;
    }
    SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
  }
  return nullptr;
}

UniqueDc OpenTestPrinter() { return UniqueDc(CreateDCA(nullptr, kPrinterName, nullptr, nullptr)); }

// Page starts and ends as comments in a metafile, which has no pages of its own.
constexpr char kPageStart[] = "parvex page start";
constexpr char kPageEnd[] = "parvex page end";
HDC g_metafile;

int MarkPage(const char* mark) {
  return GdiComment(g_metafile, static_cast<UINT>(std::strlen(mark)),
                    reinterpret_cast<const BYTE*>(mark))
             ? 1
             : 0;
}

// Plays the metafile's page marks and text records into `replay`; every line must be drawn
// at the left edge the print-out computes and on a whole line position.
void Replay(HENHMETAFILE metafile, const TextPrinter::Geometry& g, TextPrinter& replay) {
  std::vector<BYTE> bytes(GetEnhMetaFileBits(metafile, 0, nullptr));
  GetEnhMetaFileBits(metafile, static_cast<UINT>(bytes.size()), bytes.data());
  ParvexPrinter out = replay.context();
  for (size_t at = 0; at + sizeof(EMR) <= bytes.size();) {
    const auto* record = reinterpret_cast<const EMR*>(bytes.data() + at);
    if (record->nSize == 0) break;
    if (record->iType == EMR_GDICOMMENT) {
      const auto* comment = reinterpret_cast<const EMRGDICOMMENT*>(record);
      std::string mark(reinterpret_cast<const char*>(comment->Data), comment->cbData);
      if (mark == kPageStart) out.start_page(out.user);
      if (mark == kPageEnd) out.end_page(out.user);
    } else if (record->iType == EMR_EXTTEXTOUTA || record->iType == EMR_EXTTEXTOUTW) {
      const auto* text = reinterpret_cast<const EMREXTTEXTOUTA*>(record);
      const BYTE* chars = bytes.data() + at + text->emrtext.offString;
      std::string line;
      for (DWORD i = 0; i < text->emrtext.nChars; ++i) {
        // The print-out's text is ASCII; the wide form holds it as UTF-16 units.
        line += record->iType == EMR_EXTTEXTOUTA
                    ? static_cast<char>(chars[i])
                    : static_cast<char>(reinterpret_cast<const WCHAR*>(chars)[i]);
      }
      POINTL point = text->emrtext.ptlReference;
      EXPECT_EQ(point.x, 2 * g.offset_x) << line;
      EXPECT_EQ((point.y - g.offset_y) % g.line_height, 0) << line;
      out.text_out(out.user, point.x, point.y, line.data(), static_cast<int>(line.size()));
    }
    at += record->nSize;
  }
}

TEST(GdiPrinterTest, MetafileOfAPrinterHoldsTheGoldenLinesAtTheirPositions) {
  std::string failure = InstallTestPrinter();
  if (!failure.empty()) GTEST_SKIP() << "no PostScript printer driver: " << failure;
  UniqueDc printer = OpenTestPrinter();
  ASSERT_TRUE(printer) << GetLastError();
  for (auto make : {&parvex_test::TwoBlocksDevice, &parvex_test::DigitalAndDisabledDevice}) {
    parvex_test::GoldenDevice device = make();
    g_metafile = CreateEnhMetaFileA(printer.get(), nullptr, nullptr, nullptr);
    ASSERT_NE(g_metafile, nullptr);
    UniqueFont font = SelectGoldenFont(g_metafile);
    ASSERT_TRUE(font) << "no font gives " << kGoldenLinesPerPage << " lines a page";
    TEXTMETRICA metrics;
    GetTextMetricsA(g_metafile, &metrics);
    TextPrinter::Geometry geometry{metrics.tmHeight, GetDeviceCaps(g_metafile, PHYSICALHEIGHT),
                                   GetDeviceCaps(g_metafile, PHYSICALOFFSETX),
                                   GetDeviceCaps(g_metafile, PHYSICALOFFSETY)};
    EXPECT_GT(geometry.offset_y, 0);  // a printer's reference, not the screen's

    GdiPrinter gdi(g_metafile);
    ParvexPrinter context = gdi.context();
    context.start_page = [](void*) { return MarkPage(kPageStart); };
    context.end_page = [](void*) { return MarkPage(kPageEnd); };
    PageState page;
    PrintSources sources{nullptr, nullptr, nullptr};
    int result =
        PrintDeviceConfig(context, page, sources,
                          parvex_test::HostRequest(&device.entry, device.block, device.Arrays()));
    HENHMETAFILE metafile = CloseEnhMetaFile(g_metafile);
    ASSERT_NE(metafile, nullptr);
    EXPECT_GT(result, 0);

    TextPrinter replay(geometry);
    Replay(metafile, geometry, replay);
    DeleteEnhMetaFile(metafile);
    EXPECT_EQ(replay.Text(), parvex_test::ReadGolden(device.golden_file))
        << "golden file " << device.golden_file;
  }
}

int CountPages(const std::string& postscript) {
  int pages = 0;
  for (size_t at = postscript.find("%%Page: "); at != std::string::npos;
       at = postscript.find("%%Page: ", at + 1)) {
    ++pages;
  }
  return pages;
}

TEST(GdiPrinterTest, ExportsPrintOnAPrinterAndRestoreTheCursor) {
  std::string failure = InstallTestPrinter();
  if (!failure.empty()) GTEST_SKIP() << "no PostScript printer driver: " << failure;
  UniqueDc printer = OpenTestPrinter();
  ASSERT_TRUE(printer) << GetLastError();
  UniqueFont font = SelectGoldenFont(printer.get());
  ASSERT_TRUE(font);
  std::string file = TempPath("parvex_print_export.ps");
  DOCINFOA document{sizeof document, "parvex print-out", file.c_str(), nullptr, 0};
  ASSERT_GT(StartDocA(printer.get(), &document), 0) << GetLastError();

  HCURSOR host_cursor = LoadCursor(nullptr, IDC_CROSS);
  SetCursor(host_cursor);
  parvex_test::GoldenDevice device = parvex_test::TwoBlocksDevice();
  parvex::DevicePrintRequest r =
      parvex_test::HostRequest(&device.entry, device.block, device.Arrays());
  // It ends with a form feed: the next print-out starts on a new page.
  EXPECT_EQ(PrintAllConfig(printer.get(), r.server.data(), r.entry, r.auto_enable, r.save_outputs,
                           r.save_by_tag, r.save_rate, r.block, r.channel_arrays),
            1);
  EXPECT_EQ(GetCursor(), host_cursor);
  // A failure puts the host's cursor back too.
  EXPECT_EQ(PrintConfig(printer.get(), "", &device.entry, 5, 0, 0, nullptr, nullptr), -1);
  EXPECT_EQ(GetCursor(), host_cursor);
  ASSERT_GT(EndDoc(printer.get()), 0);
  SelectObject(printer.get(), GetStockObject(SYSTEM_FIXED_FONT));  // the font can then go

  std::ifstream in(file, std::ios::binary);
  std::stringstream postscript;
  postscript << in.rdbuf();
  std::string golden = parvex_test::ReadGolden(device.golden_file);
  EXPECT_EQ(CountPages(postscript.str()),
            static_cast<int>(std::count(golden.begin(), golden.end(), '\f')));
  std::remove(file.c_str());
}

}  // namespace
}  // namespace parvex
