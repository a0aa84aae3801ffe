// A device folder's "config.xml" made of the input, read through the XML device loader with
// descriptions that use every primitive field type, asking for everything the loader offers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "config/device_config.h"
#include "config/xml_document.h"
#include "fuzz_descriptions.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    std::string path = (parvex_fuzz::Instance().root() / "DEV1").string();
    std::filesystem::create_directories(path);
    return path;
  }();
  parvex_fuzz::WriteFile(folder + "/" + kestrum::kDeviceConfigXmlFile, data, size);

  // Exactly sized heap copies, so that a write past either block is caught.
  std::vector<uint8_t> block(sizeof(parvex_fuzz::Block));
  std::vector<uint8_t> extra(sizeof(parvex_fuzz::Extra));
  uint8_t auto_enable = 0, save_outputs = 0, save_by_tag = 0;
  uint32_t save_rate = 0;
  kestrum::DeviceConfigRequest request;
  request.block = block.data();
  request.block_size = static_cast<int>(block.size());
  request.extra = extra.data();
  request.extra_size = static_cast<int>(extra.size());
  request.auto_enable = &auto_enable;
  request.save_outputs = &save_outputs;
  request.save_by_tag = &save_by_tag;
  request.save_rate = &save_rate;
  int result = kestrum::LoadDeviceConfigXml(folder.c_str(), parvex_fuzz::DeviceHooks(), request);
  parvex_fuzz::Trace(result, kestrum::xml_GetErrorText());
  if (result != 0) {
    const char* text = kestrum::xml_GetErrorText();
    parvex_fuzz::Check(text != nullptr && text[0] != '\0', "a failure has a message");
  }
  return 0;
}
