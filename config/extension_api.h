/* The configuration entry points of an extension module, as the loaders call them.
 *
 * An extension module is a shared object built apart from this library. It exports any of the
 * functions below with C linkage under their plain names ("Ex_DoXml", "Ex_Get_Config_Type",
 * ...); the loaders look each one up and call only those that exist. The mere presence of
 * "Ex_DoXml" says that the module's devices keep their configuration in XML files. Field
 * descriptions handed out by a module must stay valid while the module is loaded. */
#ifndef PARVEX_CONFIG_EXTENSION_API_H_
#define PARVEX_CONFIG_EXTENSION_API_H_

#include <stdint.h>

#include "config/structs_type.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Marks a module's entry point for export. On Windows a module that marks any symbol for
 * export exports only those (the linker's automatic export of every global symbol, including
 * the C++ library's inline functions the module instantiates, stays off); elsewhere the module
 * is built with hidden visibility and the mark makes the entry point visible. */
#ifdef _WIN32
#define EX_EXPORT __declspec(dllexport)
#else
#define EX_EXPORT __attribute__((visibility("default")))
#endif

/* A record that XML texts were parsed into. */
typedef struct ConfigDesc {
  int32_t size;  /* bytes */
  void* data;    /* the record */
  int32_t owned; /* 1 when the loader allocated the record and frees it afterwards */
} ConfigDesc;

/* Size of the error buffers handed to the validation entry points. */
#define EX_ERROR_BUFFER_SIZE 256

/* Device configuration. */
typedef void (*ExDoXmlFunc)(void);
typedef const StructsType* (*ExGetConfigTypeFunc)(void* block, int32_t block_size);
typedef int32_t (*ExDecoratedConfigSizeFunc)(int32_t block_size);
typedef void (*ExDecorateConfigFunc)(ConfigDesc* parsed, void* work_block);
typedef int32_t (*ExValidateDeviceFunc)(const char* found, void* block, char* ebuf,
                                        int32_t ebuf_size);
typedef const StructsType* (*ExGetConfigExtraTypeFunc)(void* block, int32_t block_size, void* extra,
                                                       int32_t extra_size);
typedef void (*ExDecorateConfigExtraFunc)(void* block, int32_t block_size, ConfigDesc* extra);
typedef int32_t (*ExValidateDeviceExtraFunc)(const char* found, void* block, void* extra,
                                             int32_t extra_size, char* ebuf, int32_t ebuf_size);
typedef int32_t (*ExGetConfigExtraFileOffsetFunc)(void* extra, int32_t extra_size);
/* The name of the extra block's file in the device folder, for the programs that write the
 * binary form (the loaders are given the name by their callers). */
typedef const char* (*ExGetConfigExtraFileNameFunc)(void* extra, int32_t extra_size);

/* Channel configuration; `kind` is the file's channel kind, `index` the 0-based channel. */
typedef const StructsType* (*ExGetChannelHwTypeFunc)(int32_t kind, int32_t index, void* record);
typedef void (*ExDecorateChannelHwFunc)(int32_t kind, int32_t index, ConfigDesc* record);
typedef int32_t (*ExValidateChanFunc)(const char* found, void* record, char* ebuf,
                                      int32_t ebuf_size);
typedef const StructsType* (*ExGetChannelExtraTypeFunc)(int32_t kind, int32_t index, void* record);
typedef void* (*ExGetChannelExtraStructFunc)(int32_t kind);
typedef void (*ExDecorateChannelExtraFunc)(int32_t kind, int32_t index, void* record,
                                           ConfigDesc* extra);
typedef int32_t (*ExValidateChanExtraFunc)(const char* found, void* record, void* position,
                                           int32_t bytes_left, char* ebuf, int32_t ebuf_size);
typedef int32_t (*ExGetChannelExtraSizeFunc)(int32_t kind, int32_t index, void* record,
                                             void* position);
/* The name of the file in the device folder that holds a kind's channel extra data (all
 * channels' parts one after another from its start), for the programs that write the binary
 * form. */
typedef const char* (*ExGetChannelExtraFileNameFunc)(int32_t kind);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* PARVEX_CONFIG_EXTENSION_API_H_ */
