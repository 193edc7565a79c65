#include "frontend/CommandLine.h"

namespace {
// "--name=value" -> value, when arg has that form.
bool TakeJoined(const std::string& arg, const std::string& name, std::string& value) {
  if (arg.rfind(name + "=", 0) != 0) return false;
  value = arg.substr(name.size() + 1);
  return true;
}

std::string Shorter(const std::string& folder, const std::string& home) {
  if (home.empty() || home == "/") return folder;
  if (folder == home) return "~";
  if (folder.size() > home.size() && folder.rfind(home, 0) == 0 && folder[home.size()] == '/')
    return "~" + folder.substr(home.size());
  return folder;
}
}  // namespace

VarnexOptions ParseVarnexOptions(const std::vector<std::string>& args) {
  VarnexOptions o;
  bool folderGiven = false;
  for (std::size_t i = 0; i < args.size() && o.Error.empty(); ++i) {
    const std::string& a = args[i];
    std::string value;
    if (a == "--help" || a == "-h") {
      o.Help = true;
    } else if (a == "--version") {
      o.Version = true;
    } else if (a == "--folder" || TakeJoined(a, "--folder", value)) {
      if (a == "--folder") {
        if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
          o.Error = "--folder needs a folder";
          break;
        }
        value = args[++i];
      }
      if (value.empty()) o.Error = "--folder needs a folder";
      o.Folder = value;
      folderGiven = true;
    } else if (a == "--view" || TakeJoined(a, "--view", value)) {
      o.View = true;
      // Without a folder the program asks for one (the desktop entry's action).
      if (a == "--view" && i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0)
        value = args[++i];
      else if (a != "--view" && value.empty())
        o.Error = "--view= needs a folder";
      o.ViewDir = value;
    } else if (a.rfind("-", 0) == 0) {
      o.Error = "unknown option " + a;
    } else {
      o.Error = "unexpected argument " + a;
    }
  }
  if (o.Error.empty() && o.View && folderGiven)
    o.Error = "--view and --folder cannot be used together: a view writes nothing into any data folder";
  return o;
}

std::string VarnexUsage() {
  return "Usage: varnex [--folder DIR | --view [DIR]]\n"
         "Monitors and logs a GPS-disciplined frequency and time reference receiver.\n"
         "\n"
         "  --folder DIR  keep settings, data files and logs in DIR (made if missing);\n"
         "                one program per folder, so one Varnex per receiver\n"
         "  --view [DIR]  show the charts and logs of DIR while another program (a\n"
         "                varnex-logger, a Varnex elsewhere) writes it: no receiver,\n"
         "                nothing written into DIR; without DIR a dialog asks for it\n"
         "  --help        this text\n"
         "  --version     the version\n";
}

std::string VarnexWindowTitle(const std::string& caption, const std::string& folder, const std::string& device,
                              bool view, const std::string& home) {
  const std::string where = Shorter(folder, home);
  if (view) return caption + " \u2014 view of " + where + " (read-only)";
  return caption + " \u2014 " + (device.empty() ? "no device" : device) + " \u2014 " + where;
}
