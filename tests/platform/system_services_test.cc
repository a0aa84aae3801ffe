// Shared objects, file access, user and computer names.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "platform/error_number.h"
#include "platform/file_access.h"
#include "platform/own_module.h"
#include "platform/shared_object.h"
#include "platform/user_info.h"
#include "test_util.h"

namespace kestrum {
namespace {

namespace fs = std::filesystem;

TEST(SharedObject, LoadsByPathAndFromAFolderAndFindsCSymbols) {
  fs::path path(PARVEX_SAMPLE_MODULE);
  ModuleHandle module = LoadModuleFrom(path.parent_path().string(), path.filename().string());
  ASSERT_NE(module, nullptr) << LastModuleError();
  auto answer = reinterpret_cast<int (*)()>(FindModuleSymbol(module, "Ex_SampleAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  // The module that holds an address: the loaded file, not the program that loaded it.
  std::string holder;
  ASSERT_EQ(ModulePathOf(reinterpret_cast<const void*>(answer), &holder), 0);
  EXPECT_EQ(fs::path(holder).filename(), path.filename());
  EXPECT_NE(ModuleHandleOf(reinterpret_cast<const void*>(answer)), nullptr);
  EXPECT_EQ(ModulePathOf(nullptr, &holder), -1);
  EXPECT_EQ(FindModuleSymbol(module, "Ex_Missing"), nullptr);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_NE(LastModuleError(), "");
  EXPECT_EQ(FreeModule(module), 0);
}

TEST(SharedObject, MissingAndBrokenModulesAreToldApart) {
  parvex_test::ScopedTempDir dir;
  const std::string absent = std::string("absent_ex") + kSharedObjectSuffix;
  const std::string broken = std::string("broken_ex") + kSharedObjectSuffix;
  EXPECT_EQ(LoadModuleFrom(dir.str(), absent), nullptr);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
  EXPECT_NE(LastModuleError(), "");
  std::ofstream(dir.path() / broken) << "not a program file";
  EXPECT_EQ(LoadModuleFrom(dir.str(), broken), nullptr);
  EXPECT_EQ(GetErrorNumber(), ENOEXEC);
  EXPECT_NE(LastModuleError(), "");
  EXPECT_EQ(LoadModule(std::string("parvex_absent_ex") + kSharedObjectSuffix), nullptr);
  EXPECT_EQ(GetErrorNumber(), ENOENT);
}

#ifndef _WIN32

// Runs `check` as an unprivileged user when the tests run as root, so that permission bits
// count; returns its result.
bool AsOrdinaryUser(const std::function<bool()>& check) {
  if (geteuid() != 0) return check();
  pid_t child = fork();
  if (child == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
    _exit(check() ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2);
  return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

TEST(FileAccess, FollowsThePermissionsOfTheEffectiveUser) {
  parvex_test::ScopedTempDir dir;
  fs::path file = dir.path() / "data";
  std::ofstream(file) << "x";
  chmod(dir.path().c_str(), 0755);
  chmod(file.c_str(), 0644);
  std::string name = file.string();
  EXPECT_TRUE(AsOrdinaryUser([&] { return HasFileAccess(name, kAccessRead); }));
  EXPECT_FALSE(AsOrdinaryUser([&] { return HasFileAccess(name, kAccessWrite); }));
  EXPECT_FALSE(AsOrdinaryUser([&] { return HasFileAccess(name, kAccessRead | kAccessWrite); }));
  EXPECT_FALSE(AsOrdinaryUser([&] { return HasFileAccess(name, kAccessExecute); }));
  EXPECT_FALSE(AsOrdinaryUser([&] { return HasFileAccess(dir.str(), kAccessWrite); }));
  chmod(file.c_str(), 0666);
  EXPECT_TRUE(AsOrdinaryUser([&] { return HasFileAccess(name, kAccessWrite); }));
  EXPECT_FALSE(HasFileAccess(dir.str() + "/missing", 0));
  EXPECT_TRUE(HasFileAccess(dir.str(), 0));
}

TEST(UserInfo, DataFolderFollowsXdgThenHome) {
  parvex_test::ScopedTempDir dir;
  const char* old_data = getenv("XDG_DATA_HOME");
  const char* old_home = getenv("HOME");
  std::string saved_data = old_data ? old_data : "", saved_home = old_home ? old_home : "";
  setenv("HOME", "/home/operator", 1);
  setenv("XDG_DATA_HOME", "", 1);
  EXPECT_EQ(LocalAppDataFolder(), "/home/operator/.local/share");
  setenv("XDG_DATA_HOME", "/data/op", 1);
  EXPECT_EQ(LocalAppDataFolder(), "/data/op");
  if (old_data)
    setenv("XDG_DATA_HOME", saved_data.c_str(), 1);
  else
    unsetenv("XDG_DATA_HOME");
  if (old_home)
    setenv("HOME", saved_home.c_str(), 1);
  else
    unsetenv("HOME");
}

#endif  // the POSIX users' permission bits and folders

TEST(UserInfo, NamesOfComputerAndEffectiveUser) {
  std::string host, user;
  ASSERT_EQ(GetComputerName(&host), 0);
  EXPECT_FALSE(host.empty());
  ASSERT_EQ(GetUserName(&user), 0);
#ifndef _WIN32
  if (geteuid() == 0) {
    EXPECT_EQ(user, "root");
  }
#endif
  EXPECT_FALSE(user.empty());
}

}  // namespace
}  // namespace kestrum
