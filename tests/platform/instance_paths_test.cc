#include "platform/instance_paths.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace kestrum {
namespace {

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

}  // namespace
}  // namespace kestrum
