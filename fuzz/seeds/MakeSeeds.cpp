// Writes the fuzz harnesses' seed corpora from the simulated receiver: status
// screens, raw answers, data lines, log lines and a settings file, each in the
// framing its harness reads. Run from the source root: fuzz-seeds fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "frontend/BigIni.h"
#include "frontend/DataFile.h"
#include "frontend/Settings.h"
#include "frontend/StatusLog.h"
#include "link/AdvCom32.h"
#include "receiver_sim/ScpiReceiver.h"

namespace {

std::filesystem::path root;

void Write(const std::string& harness, const std::string& name, const std::string& bytes) {
  const std::filesystem::path dir = root / harness;
  std::filesystem::create_directories(dir);
  FILE* f = std::fopen((dir / name).c_str(), "wb");
  if (!f) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string Joined(const std::vector<std::string>& lines, const char* end) {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

std::string Int32(std::int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz-seeds CORPUS_FOLDER\n");
    return 2;
  }
  root = argv[1];
  const TDateTime start = 46364.5;  // 2026-12-08 12:00 UTC, the day before the loaders' "now"

  struct Unit {
    SimFamily family;
    const char* name;
  };
  const Unit units[] = {{SimFamily::Z3801, "z3801"},         {SimFamily::Z3805, "z3805"},
                        {SimFamily::Z3817, "z3817"},         {SimFamily::Gcru, "gcru"},
                        {SimFamily::JacksonLabs, "jackson"}, {SimFamily::Hp58503, "hp58503"}};
  for (const Unit& unit : units) {
    ScpiReceiver receiver(unit.family, 11);
    // Past power-up and recovery, so the sky and the lock are there.
    const TDateTime t = start + 600.0 / SecondsPerDay;
    receiver.Model().AdvanceTo(start);
    receiver.Model().AdvanceTo(t);
    const std::vector<std::string> screen = receiver.Model().StatusScreen();
    const std::string name = unit.name;
    Write("status_screen", name, Int32(receiver.Model().TrackedCount()) + Joined(screen, "\n"));
    Write("scan_numbers", name + "_screen_line", screen.size() > 3 ? screen[3] : screen.front());
    if (unit.family == SimFamily::Gcru) Write("link_answers", "gcru_screen", "\x01" + Joined(screen, "\n"));

    // Raw answers as they arrive, echo on, for the trimming.
    receiver.SetEcho(true);
    for (const char* command : {":PTIM:TINT?", ":DIAG:ROSC:EFC:ABS?", ":SYNC:HOLD:TUNC:PRED?", "*IDN?"}) {
      const std::string raw = receiver.HandleLine(command, t);
      const std::string key = name + "_" + std::to_string(std::hash<std::string>{}(command) % 1000);
      Write("link_answers", "trim_" + key, std::string("\x00", 1) + command + std::string("\0", 1) + raw);
      receiver.SetEcho(false);
      std::string answer = receiver.HandleLine(command, t, false);
      while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
      Write("refresh_rules", key, answer);
      Write("scan_numbers", "answer_" + key, answer);
      receiver.SetEcho(true);
    }
    receiver.SetEcho(false);
    std::string idn = receiver.HandleLine("*IDN?", t, false);
    Write("link_answers", "idn_" + name, "\x02" + idn);
    Write("refresh_rules", "tcod_" + name, receiver.Model().TimeCode());
    Write("refresh_rules", "stat_" + name, ModeText(receiver.Model().Mode()));
    if (IsJacksonStyle(unit.family)) {
      std::string time = receiver.HandleLine(":PTIM:TIME?", t, false);
      std::string date = receiver.HandleLine(":PTIM:DATE?", t, false);
      for (std::string* s : {&time, &date})
        while (!s->empty() && (s->back() == '\n' || s->back() == '\r')) s->pop_back();
      Write("link_answers", "time_" + name, "\x03" + time + "\n" + date);
    }

    // The console shows the screen as the link hands it over, in each line-break mode.
    for (char mode = 0; mode < 3; ++mode) {
      const std::string header{mode, static_cast<char>(5), '\x15', '\x50', '\x19'};
      Write("console", name + "_" + std::to_string(mode), header + Joined(screen, mode == 1 ? "\r" : "\r\n"));
    }
  }

  // A stretch of data lines, every 10 s, and a log of status changes.
  {
    ScpiReceiver receiver(SimFamily::Z3801, 5);
    receiver.Model().AdvanceTo(start);
    std::string lines, log;
    for (int k = 0; k < 40; ++k) {
      const TDateTime t = start + (600.0 + 10.0 * k) / SecondsPerDay;
      receiver.Model().AdvanceTo(t);
      const ReceiverModel& m = receiver.Model();
      lines += FormatDataLine({t, m.PpsTiSeconds(), m.Efc(), m.HoldoverUncertaintySeconds(),
                               static_cast<double>(m.TrackedCount())}) +
               "\r\n";
      if (k % 8 == 0) log += LogLine(t, std::string("Status changed to ") + ModeText(m.Mode())) + "\r\n";
    }
    Write("data_files", "week_lines", "\x00" + lines);
    Write("data_files", "week_lines_cut", "\x04" + lines.substr(0, lines.size() - 30));
    Write("data_files", "status_log", "\x01" + log);
    Write("data_files", "status_log_split", "\x23" + log);
    Write("scan_numbers", "data_line", lines.substr(0, lines.find('\r')));
  }

  // A settings file as the program writes it, then a few edits.
  {
    const std::filesystem::path ini = std::filesystem::temp_directory_path() / "varnex-seed.ini";
    std::filesystem::remove(ini);
    {
      TBigIniFile store(ini.string());
      T_AdvCom32 port;
      VarnexSettings settings;
      settings.HorizonTable[120] = 15;
      SaveSettings(store, port, settings);
    }
    FILE* f = std::fopen(ini.c_str(), "rb");
    std::string text;
    char buffer[4096];
    for (std::size_t n; f && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    if (f) std::fclose(f);
    std::filesystem::remove(ini);
    const std::string nul(1, '\0');
    Write("ini", "settings", text);
    Write("ini", "settings_edits",
          text + nul + '\x00' + "Serial" + nul + "Baud" + nul + "19200" + nul + '\x02' + "EFC" + nul + "Mantissa" +
              nul + "1.5" + nul + '\x04' + "Serial" + nul + "Port" + nul + nul + '\x05' + "Horizon" + nul + "Az[0]" +
              nul);
  }
  Write("refresh_rules", "hup_fields", "+1.2E-06,+0.0E+00,+0.0E+00,1");
  Write("refresh_rules", "hex", "$7FFFFFFF");
  return 0;
}
