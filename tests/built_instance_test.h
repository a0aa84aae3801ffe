// A fixture for tests that need a whole instance (folders, registry, shared areas) built by the
// driver-manager stand-in from a system description.
#ifndef PARVEX_TESTS_BUILT_INSTANCE_TEST_H_
#define PARVEX_TESTS_BUILT_INSTANCE_TEST_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runtime/shared_area.h"
#include "tools/dm/instance.h"

namespace parvex_test {

/// Builds the instance of the subclass's `kSystem` before each test and forgets the shared
/// areas of the process after it, so that tests never see each other's areas.
template <const char* kSystem>
class BuiltInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kestrum::ForgetSharedAreas();
    std::string error;
    instance_ = kestrum::dm::BuildInstance(kSystem, &error);
    ASSERT_NE(instance_, nullptr) << error;
  }
  void TearDown() override { kestrum::ForgetSharedAreas(); }

  std::unique_ptr<kestrum::dm::TemporaryInstance> instance_;
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_BUILT_INSTANCE_TEST_H_
