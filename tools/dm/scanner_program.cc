#include "tools/dm/scanner_program.h"

#include <filesystem>
#include <system_error>

#include "platform/instance_paths.h"
#include "records/text_case.h"
#include "tools/dm/temporary_folder.h"

namespace kestrum::dm {
namespace {

namespace fs = std::filesystem;

std::string Failed(const std::string& message, std::string* error) {
  *error = message;
  return "";
}

}  // namespace

#ifndef _WIN32

std::string ScannerLinkPath(const std::string& driver) {
  return InstanceDir() + "/bin/" + driver + "_sc";
}

std::string PrepareScannerProgram(const std::string& driver, const std::string& program,
                                  std::string* /*folder*/, std::string* error) {
  std::error_code ec;
  const fs::path target = fs::absolute(program, ec);
  const std::string link = ScannerLinkPath(driver);
  fs::remove(link, ec);
  fs::create_directories(fs::path(link).parent_path(), ec);
  fs::create_symlink(target, link, ec);
  return ec ? Failed(ec.message(), error) : link;
}

#else

std::string PrepareScannerProgram(const std::string& driver, const std::string& program,
                                  std::string* folder, std::string* error) {
  std::error_code ec;
  fs::path target = fs::absolute(program, ec);
  if (ec) return Failed(ec.message(), error);
  if (!target.has_extension()) target += ".exe";
  const std::string name = driver + "_sc.exe";
  if (CompareIgnoringCase(target.filename().string().c_str(), name.c_str()) == 0) {
    return target.string();
  }
  if (folder->empty()) *folder = MakeTemporaryFolder("kestrum-dm-");
  if (folder->empty()) return Failed("cannot create a temporary folder", error);
  const fs::path link = fs::path(*folder) / name;
  if (fs::equivalent(link, target, ec)) return link.string();
  fs::remove(link, ec);  // fails while a scanner runs from it; the copy below then keeps it
  ec.clear();
  fs::create_hard_link(target, link, ec);
  if (ec) {
    ec.clear();
    fs::copy_file(target, link, fs::copy_options::update_existing, ec);
  }
  return ec ? Failed(ec.message(), error) : link.string();
}

#endif

}  // namespace kestrum::dm
