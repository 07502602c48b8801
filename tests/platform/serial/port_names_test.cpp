#include "serial/port_names.h"

#include <gtest/gtest.h>

namespace zr::serial {
namespace {

TEST(PortNames, DevicePathOfEachKindOfName) {
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"com12", "/dev/ttyS11"},
      {"\\\\.\\COM3", "/dev/ttyS2"},
      {"COM0", "/dev/COM0"},
      {"ttyUSB0", "/dev/ttyUSB0"},
      {"pts/7", "/dev/pts/7"},
      {"/dev/ttyACM1", "/dev/ttyACM1"},
      {"", std::nullopt},
      {"/" + std::string(255, 'a'), std::nullopt},
      {"/" + std::string(254, 'a'), "/" + std::string(254, 'a')},
  };
  for (const auto& [name, path] : cases) EXPECT_EQ(devicePath(name), path) << name;
}

}  // namespace
}  // namespace zr::serial
