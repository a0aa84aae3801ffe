#include "tools/dm/temporary_folder.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace kestrum::dm {

std::string MakeTemporaryFolder(std::string_view stem) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return "";
  std::random_device seed;
  // create_directory reports false for a name that exists: another try takes another number.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path made = base / (std::string(stem) + std::to_string(seed()));
    if (fs::create_directory(made, ec)) return made.string();
    if (ec) return "";
  }
  return "";
}

}  // namespace kestrum::dm
