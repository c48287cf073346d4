// A fresh device root per test (the test driver's), shared by the kernel32, advapi32 and shell32
// conformance tests, with files written into it from the host.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "device/Device.h"
#include "device/TestDriver.h"

namespace testing_device {

class DeviceRootTest : public ::testing::Test {
 protected:
  void WriteHostFile(const std::string& relative, const std::string& bytes) {
    std::ofstream(root_ + "/" + relative, std::ios::binary) << bytes;
  }
  device::TestDriver driver_;
  const std::string root_ = driver_.root();
};

}  // namespace testing_device
