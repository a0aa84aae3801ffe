// Decoding shared areas for people: the header, the subscriber and message tables, and the
// records of the area's kind (device records, data processors, loggers, error entries, channel
// tables with their status bits spelled out, event rows), as JSON or as indented text.
#ifndef PARVEX_TOOLS_DM_AREA_DUMP_H_
#define PARVEX_TOOLS_DM_AREA_DUMP_H_

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::dm {

/// Decodes the area `name` mapped at `area` with `mapped_size` bytes, using the table layout
/// of `platform_id`. Never reads outside the mapping: parts that do not fit are reported under
/// "problems" instead of decoded.
nlohmann::ordered_json DecodeArea(const void* area, uint64_t mapped_size, std::string_view name,
                                  int platform_id = 2);

/// Renders a decoded area (or any JSON value) as indented "key: value" lines.
std::string RenderText(const nlohmann::ordered_json& decoded);

/// The base names of the areas in the current instance, sorted.
std::vector<std::string> ListAreas();

}  // namespace kestrum::dm

#endif  // PARVEX_TOOLS_DM_AREA_DUMP_H_
