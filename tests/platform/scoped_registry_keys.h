// Test keys of the local machine hive, removed with everything below them when a test begins
// and when it ends: on Windows the registry of a wine prefix outlives each test and each test
// program, so a test must not see keys that another left behind.
#ifndef PARVEX_TESTS_PLATFORM_SCOPED_REGISTRY_KEYS_H_
#define PARVEX_TESTS_PLATFORM_SCOPED_REGISTRY_KEYS_H_

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace parvex_test {

class ScopedRegistryKeys {
 public:
  ScopedRegistryKeys(std::initializer_list<const char*> keys) : keys_(keys.begin(), keys.end()) {
    RemoveAll();
  }
  ~ScopedRegistryKeys() { RemoveAll(); }
  ScopedRegistryKeys(const ScopedRegistryKeys&) = delete;
  ScopedRegistryKeys& operator=(const ScopedRegistryKeys&) = delete;

 private:
  void RemoveAll() const {
    for (const std::string& key : keys_) {
      kestrum::RegDeleteKey(kestrum::RegHiveKey(kestrum::RegHive::kLocalMachine), key);
    }
  }

  std::vector<std::string> keys_;
};

}  // namespace parvex_test

#endif  // PARVEX_TESTS_PLATFORM_SCOPED_REGISTRY_KEYS_H_
