#include "platform/instance_paths.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdlib>

#include "test_util.h"
#endif

namespace kestrum {
namespace {

#ifndef _WIN32
TEST(InstancePaths, FollowTheEnvironmentOfTheInstance) {
  parvex_test::ScopedInstance instance;
  EXPECT_EQ(InstanceDir(), instance.rundir().string());
  EXPECT_EQ(RegistryRoot(), instance.registry().string());
  EXPECT_EQ(ObjectPath("shm", "Global\\Global\\dm_device.mut"),
            instance.rundir().string() + "/shm/Global/Global/dm_device.mut");
}

TEST(InstancePaths, EmptyVariableFallsBackToDefault) {
  parvex_test::ScopedInstance instance;
  setenv("KESTRUM_RUNDIR", "", 1);
  EXPECT_NE(InstanceDir(), "");
  EXPECT_NE(InstanceDir(), instance.rundir().string());
}
#endif

// Leaves the process's objects named as the system names them when the test ends.
struct ClearNamePrefixAtEnd {
  ~ClearNamePrefixAtEnd() { SetObjectNamePrefixForTests(""); }
};

TEST(InstancePaths, TestPrefixGoesBeforeTheObjectsOwnName) {
  ClearNamePrefixAtEnd clear;
  struct Case {
    const char* prefix;
    const char* name;
    const char* expected;
  };
  for (const Case& c :
       {Case{"", "Global\\dm_device", "Global\\dm_device"},
        Case{"t1_", "Global\\Global\\dm_device.mut", "Global\\Global\\t1_dm_device.mut"},
        Case{"t1_", "dm_12.slt", "t1_dm_12.slt"}}) {
    SetObjectNamePrefixForTests(c.prefix);
    EXPECT_EQ(WithObjectNamePrefix(c.name), c.expected) << c.prefix << c.name;
  }
#ifdef _WIN32
  EXPECT_EQ(ObjectPath("mailslot", "dm_12.slt"), "\\\\.\\mailslot\\t1_dm_12.slt");
  SetObjectNamePrefixForTests("");
  EXPECT_EQ(ObjectPath("shm", "Global\\Global\\dm_device.mut"), "Global\\Global\\dm_device.mut");
#else
  parvex_test::ScopedInstance instance;
  EXPECT_EQ(ObjectPath("shm", "Global\\dm_device"),
            instance.rundir().string() + "/shm/Global/t1_dm_device");
#endif
}

}  // namespace
}  // namespace kestrum
