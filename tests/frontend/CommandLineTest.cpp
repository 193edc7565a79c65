#include <gtest/gtest.h>

#include "frontend/CommandLine.h"

namespace {
TEST(CommandLine, ReadsEveryFormAndRefusesWhatItCannotUse) {
  const struct {
    std::vector<std::string> args;
    bool help, version, view;
    std::string folder, viewDir, error;
  } cases[] = {
      {{}, false, false, false, "", "", ""},
      {{"--help"}, true, false, false, "", "", ""},
      {{"-h"}, true, false, false, "", "", ""},
      {{"--version"}, false, true, false, "", "", ""},
      {{"--folder", "/srv/gps a"}, false, false, false, "/srv/gps a", "", ""},
      {{"--folder=/srv/b"}, false, false, false, "/srv/b", "", ""},
      {{"--view", "/mnt/rack"}, false, false, true, "", "/mnt/rack", ""},
      {{"--view=/mnt/rack"}, false, false, true, "", "/mnt/rack", ""},
      {{"--view"}, false, false, true, "", "", ""},
      {{"--view", "--help"}, true, false, true, "", "", ""},
      {{"--folder"}, false, false, false, "", "", "--folder needs a folder"},
      {{"--folder", "--view"}, false, false, false, "", "", "--folder needs a folder"},
      {{"--folder="}, false, false, false, "", "", "--folder needs a folder"},
      {{"--view="}, false, false, true, "", "", "--view= needs a folder"},
      {{"--bogus"}, false, false, false, "", "", "unknown option --bogus"},
      {{"/tmp"}, false, false, false, "", "", "unexpected argument /tmp"},
      {{"--view", "/a", "--folder", "/b"},
       false,
       false,
       true,
       "/b",
       "/a",
       "--view and --folder cannot be used together: a view writes nothing into any data folder"},
  };
  for (const auto& c : cases) {
    const VarnexOptions o = ParseVarnexOptions(c.args);
    const std::string what = c.args.empty() ? "(none)" : c.args[0];
    EXPECT_EQ(o.Error, c.error) << what;
    if (!c.error.empty()) continue;
    EXPECT_EQ(o.Help, c.help) << what;
    EXPECT_EQ(o.Version, c.version) << what;
    EXPECT_EQ(o.View, c.view) << what;
    EXPECT_EQ(o.Folder, c.folder) << what;
    EXPECT_EQ(o.ViewDir, c.viewDir) << what;
  }
  EXPECT_NE(VarnexUsage().find("--view [DIR]"), std::string::npos);
}

TEST(CommandLine, TitleTellsWindowsApart) {
  const std::string caption = "Varnex Vers 20130801";
  const struct {
    std::string folder, device;
    bool view;
    std::string title;
  } cases[] = {
      {"/home/ann/.local/share/varnex", "/dev/ttyUSB0", false,
       "Varnex Vers 20130801 \u2014 /dev/ttyUSB0 \u2014 ~/.local/share/varnex"},
      {"/home/ann/garage", "socket://gpsbox:4001", false,
       "Varnex Vers 20130801 \u2014 socket://gpsbox:4001 \u2014 ~/garage"},
      {"/home/anna/x", "/dev/ttyS0", false, "Varnex Vers 20130801 \u2014 /dev/ttyS0 \u2014 /home/anna/x"},
      {"/home/ann", "", false, "Varnex Vers 20130801 \u2014 no device \u2014 ~"},
      {"/mnt/rack/varnex", "/dev/ttyS0", true, "Varnex Vers 20130801 \u2014 view of /mnt/rack/varnex (read-only)"},
  };
  for (const auto& c : cases) EXPECT_EQ(VarnexWindowTitle(caption, c.folder, c.device, c.view, "/home/ann"), c.title);
}
}  // namespace
