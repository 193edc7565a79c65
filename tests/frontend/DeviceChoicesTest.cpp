#include <gtest/gtest.h>
#include <unistd.h>

#include "frontend/DeviceChoices.h"
#include "frontend/PersistTestFiles.h"

namespace {

TEST(DeviceChoices, StableNamesComeFirstWithTheirDeviceThenTheDevicesNoStableNameReaches) {
  TempFolder dev;
  for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyACM0"}) WriteFileBytes(dev.File(node), "");
  const std::string byId = dev.File("by-id");
  ASSERT_EQ(mkdir(byId.c_str(), 0755), 0);
  ASSERT_EQ(symlink("../ttyUSB1", (byId + "/usb-Zeta_GPSDO_99-if00-port0").c_str()), 0);
  ASSERT_EQ(symlink(dev.File("ttyACM0").c_str(), (byId + "/usb-Acme_Clock_01-if00").c_str()), 0);
  ASSERT_EQ(symlink("../ttyUSB7", (byId + "/usb-Gone_Adapter-if00-port0").c_str()), 0);  // unplugged

  const std::vector<DeviceChoice> choices = ListDeviceChoices(
      {dev.File("ttyUSB1"), "/dev/ttyS0", dev.File("ttyUSB0"), dev.File("ttyACM0"), "/dev/ttyS0"}, byId);
  std::vector<std::pair<std::string, std::string>> got;
  for (const DeviceChoice& c : choices) got.emplace_back(c.path, c.kernel);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {byId + "/usb-Acme_Clock_01-if00", dev.File("ttyACM0")},
      {byId + "/usb-Zeta_GPSDO_99-if00-port0", dev.File("ttyUSB1")},
      {"/dev/ttyS0", ""},
      {dev.File("ttyUSB0"), ""},
  };
  EXPECT_EQ(got, expected);
  // No stable names at all (no USB adapter plugged in): the devices alone.
  EXPECT_EQ(ListDeviceChoices({"/dev/ttyS1", "/dev/ttyS0"}, dev.File("no-such-folder")).front().path, "/dev/ttyS0");
}

}  // namespace
