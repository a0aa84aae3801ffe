// The channel configuration records of a device folder: one file per channel kind, in an XML
// form ("<kind>.xml": a document element holding one "Channel" element per channel, attribute
// "id" the channel number from 1, one element per field inside) or a binary form ("<kind>":
// an 8-byte time stamp, then one 216-byte record per channel). The XML form is used when the
// folder's extension module exports "Ex_DoXml", XML configuration is switched on for the
// machine and the kind's ".xml" file exists.
//
// The loaders share the process-wide XML status and are called from one thread at a time.
#ifndef PARVEX_CONFIG_CHANNEL_CONFIG_H_
#define PARVEX_CONFIG_CHANNEL_CONFIG_H_

#include <cstdint>
#include <string>

#include "config/extension_api.h"
#include "platform/shared_object.h"
#include "records/channel_config.h"

namespace kestrum {

/// Bytes before the first record of a binary channel file (the file's write-time stamp).
inline constexpr int kChannelFileHeaderSize = 8;

/// The channel configuration entry points of an extension module; null where it has none.
struct ChannelConfigHooks {
  ExGetChannelHwTypeFunc get_hw_type = nullptr;
  ExDecorateChannelHwFunc decorate_hw = nullptr;
  ExValidateChanFunc validate = nullptr;
  ExGetChannelExtraTypeFunc get_extra_type = nullptr;
  ExGetChannelExtraStructFunc get_extra_struct = nullptr;
  ExDecorateChannelExtraFunc decorate_extra = nullptr;
  ExValidateChanExtraFunc validate_extra = nullptr;
  ExGetChannelExtraSizeFunc get_extra_size = nullptr;
  ExGetChannelExtraFileNameFunc get_extra_file_name = nullptr;
};

/// Looks up the channel configuration entry points of `module` (null gives none).
ChannelConfigHooks ChannelConfigHooksOf(ModuleHandle module);

/// Returns the file name of a kind's channel file ("ai", or "ai.xml" with `xml`), or "" for a
/// kind outside 0 to 4.
std::string ChannelFileName(int kind, bool xml);

/// Loads channels first to first + count - 1 (0-based) of `kind` from `folder` into
/// records[0] to records[count - 1], and their extra data into `extra` (may be null). Returns
/// 0, or -1: after an XML failure with error number and platform last error 1465 (the
/// composed text is xml_GetErrorText() and was reported as an error event; records of the
/// channels before the failing one, and of the failing one when only its checks failed, are
/// already replaced); after a binary failure with the platform's error (ENODATA for a file too
/// short for the channels asked for).
int LoadChannelConfig(const char* folder, int kind, ChannelConfigRecord* records, int first,
                      int count, void* extra, int extra_size, const char* extra_file_name);

/// LoadChannelConfig on the current directory without extra data.
int ReadChannelConfig(int kind, ChannelConfigRecord* records, int first, int count);

/// Reads "<kind>.xml" of `folder` with the given entry points, whatever the folder's module
/// says (the configuration compiler's way in). Same results as LoadChannelConfig's XML form.
int LoadChannelConfigXml(const char* folder, int kind, const ChannelConfigHooks& hooks,
                         ChannelConfigRecord* records, int first, int count, void* extra,
                         int extra_size);

/// Reloads the records of `kind` into the configuration area of `channel_table`'s prefix when
/// the kind's file (of the current directory) has another last-write time than the table's
/// header records. Returns 0 when it did not change, 216 times the table's channel count after
/// a reload (the new stamp is then in the table header and the area's subscribers notified),
/// or -1 with the error number set (the stamp is kept, so the next call tries again).
int ReloadChannelConfigIfChanged(int kind, void* channel_table);

/// Checks that the fields an enabled record needs are in `found` (",Name,Name,...,"). Returns
/// 0, or -1 with XML status -1 and "<%s> Required" for the first missing field, or
/// "LowEventLimiit > HighEventLimit" when an analogue record's event limits are reversed.
int CheckChannelFields(const char* found, const ChannelConfigRecord* record);

}  // namespace kestrum

#endif  // PARVEX_CONFIG_CHANNEL_CONFIG_H_
