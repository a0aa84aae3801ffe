// The C entry points of libparvex_cf.so.
#include <QApplication>
#include <QCursor>
#include <QVariant>

#include <cerrno>
#include <cstddef>

#include "configui/advanced_dialog.h"
#include "configui/channel_dialog.h"
#include "configui/parvex_cf.h"
#include "configui/print_calls.h"
#include "configui/print_out.h"
#include "platform/error_number.h"
#include "records/device_record.h"

static_assert(sizeof(ParvexCommSettings) == 24);
static_assert(offsetof(ParvexCommSettings, BaudRate) == 4);
static_assert(offsetof(ParvexCommSettings, PortName) == 8);
static_assert(offsetof(ParvexCommSettings, Parity) == 16);
static_assert(offsetof(ParvexCommSettings, DataBits) == 20);
static_assert(sizeof(ParvexChannelBlock) == 4);
static_assert(offsetof(ParvexDeviceEntry, DeviceNumber) == 10);
static_assert(offsetof(ParvexDeviceEntry, DeviceName) == 12);
static_assert(offsetof(ParvexDeviceEntry, FolderName) == 37);
static_assert(offsetof(ParvexDeviceEntry, Blocks) == 50);
static_assert(offsetof(ParvexDeviceEntry, Config) == 220);
static_assert(sizeof(ParvexDeviceEntry) == PARVEX_DEVICE_ENTRY_SIZE);
static_assert(sizeof(ParvexChannelRecord) == 216);
// The host's records carry the same layouts as the system's own.
static_assert(sizeof(ParvexCommSettings) == sizeof(kestrum::CommSettings));
static_assert(offsetof(ParvexCommSettings, PortName) == offsetof(kestrum::CommSettings, PortName));
static_assert(offsetof(ParvexCommSettings, DataBits) == offsetof(kestrum::CommSettings, DataBits));
static_assert(PARVEX_CONFIG_BLOCK_SIZE == sizeof(kestrum::DeviceConfigBlock));

namespace parvex {
namespace {

// Shows the host's wait cursor for as long as it lives.
class WaitCursor {
 public:
  WaitCursor() : shown_(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    if (shown_) QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~WaitCursor() {
    if (shown_) QApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool shown_;
};

bool HasWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

bool UsablePrinter(const ParvexPrinter* p) {
  return p && p->start_page && p->end_page && p->text_out && p->device_caps && p->text_height;
}

// The host's default port number from its application object, else the device number.
uint16_t DefaultComPort(const ParvexDeviceEntry& entry) {
  QVariant value = QCoreApplication::instance()->property(PARVEX_DEFAULT_COM_PORT_PROPERTY);
  bool ok = false;
  uint port = value.toUInt(&ok);
  return ok && port <= 0xFFFF ? static_cast<uint16_t>(port) : entry.DeviceNumber;
}

}  // namespace
}  // namespace parvex

extern "C" {

void DLL_ConfigAdvanDevSpecific(QWidget* parent, ParvexDeviceEntry* entry, int32_t* changed) {
  if (!parvex::HasWidgets() || entry == nullptr || changed == nullptr) return;
  auto* settings = reinterpret_cast<uint8_t*>(entry) + offsetof(ParvexDeviceEntry, Config) +
                   offsetof(ParvexCommSettings, BaudRate);
  try {
    parvex::AdvancedDialog dialog(parent, parvex::DefaultComPort(*entry), settings, changed);
    dialog.exec();
  } catch (...) {
    // Nothing was stored: the dialog writes the host's record only as it closes with OK.
  }
}

void DLL_ConfigChanDevSpecific(QWidget* parent, int32_t, int32_t, int32_t,
                               ParvexChannelRecord* record, int32_t* changed) {
  if (!parvex::HasWidgets() || record == nullptr || changed == nullptr) return;
  try {
    parvex::ChannelDialog dialog(parent, record, changed);
    dialog.exec();
  } catch (...) {
    // Nothing was stored: the dialog writes the record only as it closes with OK.
  }
}

int PrintAllConfig(ParvexPrinter* printer, const char* server, ParvexDeviceEntry* entry,
                   uint8_t auto_enable, uint8_t save_outputs, uint8_t save_by_tag,
                   uint32_t save_rate, uint8_t* config_block,
                   ParvexChannelRecord** channel_arrays) {
  if (!parvex::UsablePrinter(printer) || entry == nullptr) return kestrum::FailWith(EINVAL);
  parvex::WaitCursor wait;
  parvex::DevicePrintRequest request{server ? server : "", entry,     auto_enable,  save_outputs,
                                     save_by_tag,          save_rate, config_block, channel_arrays};
  return parvex::PrintDeviceOnModulePage(printer, request);
}

int PrintConfig(ParvexPrinter* printer, const char*, ParvexDeviceEntry* entry, int32_t block,
                int32_t first, int32_t last, uint8_t*, ParvexChannelRecord* records) {
  if (!parvex::UsablePrinter(printer) || entry == nullptr) return kestrum::FailWith(EINVAL);
  parvex::WaitCursor wait;
  return parvex::PrintBlockOnModulePage(printer, entry, block, first, last, records);
}

void DLL_SetDefaultComPort(uint16_t port) {
  if (QCoreApplication* app = QCoreApplication::instance()) {
    app->setProperty(PARVEX_DEFAULT_COM_PORT_PROPERTY, QVariant::fromValue<uint>(port));
  }
}

}  // extern "C"
