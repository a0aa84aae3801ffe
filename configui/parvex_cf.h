/* The public interface of the particle counter's configuration module, libparvex_cf.so, on
 * Windows parvex_cf.dll.
 *
 * The SCADA configuration tool (the host) loads the library and calls its exports, all with C
 * linkage. The host owns every record it passes in; the module reads and edits them in place
 * and never frees them. All exports run on the host's user-interface thread; the host owns the
 * QApplication and passes a QWidget* as the parent window.
 *
 * On Windows the module is parvex_cf.dll: the exports keep their undecorated names, and x64
 * Windows has a single calling convention, so none is named. The parent window is an HWND (the
 * dialogs are native Win32 dialogs); the original's CWnd* belongs to a class framework this
 * module does not use, and its window handle is what the dialogs need.
 *
 * Default COM port. The Advanced dialog needs a default port number when the device's PortName
 * is empty. The host keeps that number in its application object: either it calls
 * DLL_SetDefaultComPort() once (any time before the dialog), or it sets the dynamic property
 * named PARVEX_DEFAULT_COM_PORT_PROPERTY on its QCoreApplication itself. When the property is
 * missing or not a number from 0 to 65535 the dialog uses the entry's device number (position
 * 10). On Windows, where the host has no such object for the module to read, the module keeps
 * the number DLL_SetDefaultComPort() gave it; before the first call the device number is used.
 * The module itself keeps nothing between calls but its help path, the print-out's page
 * position and that number.
 *
 * Help. F1 in a dialog shows the help topic "<help path>::/html/<topic>.htm", where the help
 * path is the library's own path with its extension replaced by "chm" (libparvex_cf.so gives
 * libparvex_cf.chm in the same folder). When that path is a folder (an unpacked help file) the
 * topic's page <help path>/html/<topic>.htm is opened in the desktop's browser; when it is a file
 * and a CHM viewer (xchm or kchmviewer) is on the PATH, the viewer is started on it; otherwise F1
 * does nothing. On Windows the help path is the DLL's own path with its last three characters
 * replaced by "chm" (parvex_cf.dll gives parvex_cf.chm), shown with HTML Help (hhctrl.ocx,
 * loaded when F1 is first pressed); without HTML Help F1 does nothing.
 */
#ifndef PARVEX_CONFIGUI_PARVEX_CF_H_
#define PARVEX_CONFIGUI_PARVEX_CF_H_

#include <stdint.h>

#ifdef __cplusplus
class QWidget;
extern "C" {
#else
typedef struct QWidget QWidget;
#endif

#if defined(_WIN32)
#define PARVEX_CF_EXPORT __declspec(dllexport)
#elif defined(__GNUC__)
#define PARVEX_CF_EXPORT __attribute__((visibility("default")))
#else
#define PARVEX_CF_EXPORT
#endif

/* The name of the QCoreApplication property holding the default COM port number. */
#define PARVEX_DEFAULT_COM_PORT_PROPERTY "kestrumDefaultComPort"

/* The parent window of the dialogs. On Windows it is the host's window handle, an HWND
 * (declared here as the type <windows.h> gives it with STRICT, so the header needs no
 * <windows.h>); elsewhere the host's QWidget. */
#if defined(_WIN32)
typedef struct HWND__* ParvexParentWindow;
#else
typedef QWidget* ParvexParentWindow;
#endif

/* ---- Records the host passes in (little-endian, byte positions are part of the contract) ---- */

/* The first 24 bytes of the 704-byte device configuration block. The Advanced dialog edits the
 * 20 bytes from BaudRate to DataBits. */
typedef struct ParvexCommSettings {
  uint32_t ScanRate; /* milliseconds */
  int32_t BaudRate;
  char PortName[8]; /* NUL-terminated, "COM3"; empty means "COM" + device number */
  uint32_t Parity;  /* 0 none, 1 odd, 2 even, 3 mark, 4 space */
  int32_t DataBits; /* 5 to 8 */
} ParvexCommSettings;

#define PARVEX_CONFIG_BLOCK_SIZE 704
#define PARVEX_CHANNEL_BLOCKS 5

/* One channel block of a device: a two-character prefix (not terminated) and the channel count.
 * The block is in use when Prefix[0] is not NUL. Block i holds channels of kind i
 * (0 ai, 1 di, 2 ao, 3 do, 4 ci). */
typedef struct ParvexChannelBlock {
  char Prefix[2];
  uint16_t ChannelCount;
} ParvexChannelBlock;

/* The host's device record. The module reads only the named parts. */
typedef struct ParvexDeviceEntry {
  uint8_t Reserved0[10];
  uint16_t DeviceNumber; /* position 10: default port number of the print-out ("COM%d") */
  char DeviceName[25];   /* position 12: NUL-terminated */
  char FolderName[13];   /* position 37: NUL-terminated, the device's folder */
  ParvexChannelBlock Blocks[PARVEX_CHANNEL_BLOCKS]; /* position 50 */
  uint8_t Reserved1[150];
  union { /* position 220: the device configuration block */
    ParvexCommSettings Comm;
    uint8_t Bytes[PARVEX_CONFIG_BLOCK_SIZE];
  } Config;
} ParvexDeviceEntry;

#define PARVEX_DEVICE_ENTRY_SIZE 924

/* The 216-byte channel configuration record. The Channel dialog edits bytes 188 (FieldType),
 * 189 (PortNumber) and 190 (ValueType); the print-out reads the configured fields. */
#define PARVEX_CHANNEL_RECORD_SIZE 216
typedef struct ParvexChannelRecord {
  uint8_t Bytes[PARVEX_CHANNEL_RECORD_SIZE];
} ParvexChannelRecord;

/* ---- The printer a print-out draws on (the host's print job) ---- */

/* Capability indexes that the print-out asks device_caps for. */
#define PARVEX_CAP_PHYSICALHEIGHT 111
#define PARVEX_CAP_PHYSICALOFFSETX 112
#define PARVEX_CAP_PHYSICALOFFSETY 113

/* A printer device context. The host opens and closes the document and chooses the
 * (fixed-pitch) font; the module starts and ends pages and draws each line of text. Every
 * callback gets `user` as its first argument. */
typedef struct ParvexPrinter {
  void* user;
  /* Starts a page; returns a value above 0 on success. */
  int (*start_page)(void* user);
  /* Ends the current page; returns a value above 0 on success. */
  int (*end_page)(void* user);
  /* Draws `length` characters of `text` (not terminated) with their top left corner at x, y in
   * device units. */
  void (*text_out)(void* user, int x, int y, const char* text, int length);
  /* Returns the device capability `index` (one of PARVEX_CAP_*), in device units. */
  int (*device_caps)(void* user, int index);
  /* Returns the height of a line of the selected font in device units (tmHeight). */
  int (*text_height)(void* user);
} ParvexPrinter;

/* What the two print exports draw on. On Windows it is the host's printer device context, an
 * HDC (declared here as the type <windows.h> gives it with STRICT, so the header needs no
 * <windows.h>): the module starts and ends pages on it with StartPage and EndPage, draws each
 * line with TextOutA and takes the page size and offsets from GetDeviceCaps and the line height
 * from GetTextMetricsA (tmHeight) of the font the host selected. The original took the printer
 * as an object of a framework this project does not use; the HDC is what that object wraps.
 * x64 Windows has one calling convention, so the exports declare none. Elsewhere it is the
 * host's ParvexPrinter. */
#if defined(_WIN32)
typedef struct HDC__* ParvexPrintTarget;
#else
typedef ParvexPrinter* ParvexPrintTarget;
#endif

/* ---- Exports ---- */

/* Shows the modal Advanced dialog for the entry's CommSettings. On OK with a change the 20 bytes
 * from BaudRate are written back and *changed becomes 1; OK without a change sets *changed to 0;
 * Cancel writes nothing. Returns when the dialog is closed. */
PARVEX_CF_EXPORT void DLL_ConfigAdvanDevSpecific(ParvexParentWindow parent,
                                                 ParvexDeviceEntry* entry, int32_t* changed);

/* Shows the modal Channel dialog for bytes 188 to 190 of `record`. Stores and sets *changed to 1
 * as the dialog decides; Cancel writes nothing. The three integer arguments are ignored. */
PARVEX_CF_EXPORT void DLL_ConfigChanDevSpecific(ParvexParentWindow parent, int32_t unused1,
                                                int32_t unused2, int32_t unused3,
                                                ParvexChannelRecord* record, int32_t* changed);

/* Prints the device header, scan rate and communication settings and every block in use.
 * `config_block` null: the block and the four save settings are read from the device's stored
 * configuration (local machine only). `channel_arrays` null, or an entry of it null: that block's
 * records are loaded from the current directory. Writes the default PortName and BaudRate into
 * the block when they are not set; when the default name "COM" + device number does not fit
 * PortName, nothing is written or printed and the result is -1. Returns -1 on failure (error
 * number set), also when the printer keeps refusing to end a full page, else the result of the
 * last block printed (0 when no block is in use). */
PARVEX_CF_EXPORT int PrintAllConfig(ParvexPrintTarget printer, const char* server,
                                    ParvexDeviceEntry* entry, uint8_t auto_enable,
                                    uint8_t save_outputs, uint8_t save_by_tag, uint32_t save_rate,
                                    uint8_t* config_block, ParvexChannelRecord** channel_arrays);

/* Prints the analogue and digital tables of block `block` (0..4) for channels first to last
 * (0 means the first or the last channel). `records` holds channel n at position n - 1; null
 * loads channels first to last from the current directory. `server` and `config_block` are
 * ignored. Returns -1 on a bad range, a failed load or a refused end of a full page of the
 * digital table, else the line position after the digital table. */
PARVEX_CF_EXPORT int PrintConfig(ParvexPrintTarget printer, const char* server,
                                 ParvexDeviceEntry* entry, int32_t block, int32_t first,
                                 int32_t last, uint8_t* config_block, ParvexChannelRecord* records);

/* Stores the host's default COM port number in the host's application object (the property
 * PARVEX_DEFAULT_COM_PORT_PROPERTY). Needs a QCoreApplication; does nothing without one. On
 * Windows the module keeps the number itself. */
PARVEX_CF_EXPORT void DLL_SetDefaultComPort(uint16_t port);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* PARVEX_CONFIGUI_PARVEX_CF_H_ */
