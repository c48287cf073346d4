// A fresh device root per test process (each test runs in a process of its own), shared by the
// kernel32, advapi32 and shell32 conformance tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "device/Device.h"

namespace testing_device {

inline std::string MakeFreshRoot() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/melodex-root-XXXXXX";
  char* made = mkdtemp(pattern.data());
  EXPECT_NE(made, nullptr);
  return pattern;
}

// Points the device at a new, empty root folder, laid out as a phone's on first use.
class DeviceRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeFreshRoot();
    device::options().root = root_;
    device::options().headless = true;
    device::RootDir();  // lays the new root out as a phone's
  }
  void TearDown() override {
    std::string command = "rm -rf '" + root_ + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << root_;
  }
  void WriteHostFile(const std::string& relative, const std::string& bytes) {
    std::ofstream out(root_ + "/" + relative, std::ios::binary);
    out << bytes;
  }
  std::string root_;
};

}  // namespace testing_device
