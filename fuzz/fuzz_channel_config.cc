// A device folder's channel file ("ai.xml" or "di.xml", by the first byte) made of the rest of
// the input, read through the XML channel loader for channels 1 to 8 with extra data, with
// descriptions that use every primitive field type in the hardware and extra parts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/channel_config.h"
#include "config/xml_document.h"
#include "fuzz_descriptions.h"
#include "fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    std::string path = (parvex_fuzz::Instance().root() / "DEV2").string();
    std::filesystem::create_directories(path);
    return path;
  }();
  if (size < 1) return 0;
  const int kind = data[0] % 2;  // analogue inputs (with a hardware part) or digital inputs
  parvex_fuzz::WriteFile(folder + "/" + kestrum::ChannelFileName(kind, true), data + 1, size - 1);

  constexpr int kCount = 8;
  std::vector<kestrum::ChannelConfigRecord> records(kCount);
  std::vector<uint8_t> extra(4 * kCount);
  int result = kestrum::LoadChannelConfigXml(folder.c_str(), kind, parvex_fuzz::ChannelHooks(),
                                             records.data(), 0, kCount, extra.data(),
                                             static_cast<int>(extra.size()));
  parvex_fuzz::Trace(result, kestrum::xml_GetErrorText());
  if (result != 0) {
    const char* text = kestrum::xml_GetErrorText();
    parvex_fuzz::Check(text != nullptr && text[0] != '\0', "a failure has a message");
  }
  return 0;
}
