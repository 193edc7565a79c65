// The manual command window's answer path in the running program: a reply's bytes
// arrive at the serial port (a pseudo-terminal played by the benchmark), the poll
// thread's forwarding pass reads them, the main window hands them to the command
// window's console on the user-interface thread, and the console paints them.
// Each iteration is one reply, from its write to the paint that shows it; goal < 50 ms.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QPaintEvent>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/ui/Startup.h"
#include "app/ui/VarnexContext.h"
#include "controls/ui/ConsoleWidget.h"
#include "frontend/ui/MainUnit.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/PseudoTerminal.h"
#include "windows/ui/CommandUnit.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// Notes a paint of the console's view that finds the awaited text on the screen.
class PaintWatch : public QObject {
 public:
  std::function<bool()> Awaited;
  bool Painted = false;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && Awaited && Awaited()) Painted = true;
    return QObject::eventFilter(watched, event);
  }
};

void WriteAll(int fd, const std::string& s) {
  for (std::size_t at = 0; at < s.size();) {
    const ssize_t n = write(fd, s.data() + at, s.size() - at);
    if (n > 0) at += static_cast<std::size_t>(n);
  }
}

struct Rig {
  Rig() : folder((std::filesystem::temp_directory_path() / "varnex_command_reply_bench").string()) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/Varnex.ini", std::ios::binary) << "[Serial]\r\nDevice=" << pty.path << "\r\n";
    context = std::make_unique<VarnexContext>(state, clock, folder);
    windows = std::make_unique<VarnexWindows>(*context);
    context->MainForm->show();
    form = context->CommandForm;
    form->show();  // from now on the poll thread only forwards
    form->resize(700, 500);
    // Answer the identification at start, as a Z3801 does.
    std::string heard;
    const auto limit = SteadyClock::now() + std::chrono::seconds(10);
    while (heard.find("*IDN?\r") == std::string::npos && SteadyClock::now() < limit) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      pollfd p{pty.master, POLLIN, 0};
      char buf[256];
      if (poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
        const ssize_t n = read(pty.master, buf, sizeof buf);
        if (n > 0) heard.append(buf, static_cast<std::size_t>(n));
      }
    }
    WriteAll(pty.master, "HEWLETT-PACKARD,Z3801A,3542A01234,3.0\r\nscpi > ");
    // The identification enables the stability measures; then the thread only forwards.
    const auto identified = SteadyClock::now() + std::chrono::seconds(10);
    while (!context->MainForm->Action("TimeStab")->isEnabled() && SteadyClock::now() < identified)
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    const auto settle = SteadyClock::now() + std::chrono::milliseconds(300);
    while (SteadyClock::now() < settle) QApplication::processEvents(QEventLoop::AllEvents, 5);
    form->Console1()->viewport()->installEventFilter(&watch);
  }
  ~Rig() {
    windows.reset();
    std::filesystem::remove_all(folder);
  }

  // Sends one reply and returns the seconds until the event loop pass whose paint of the
  // console found the reply's last line on the screen has ended.
  double OneReply(const std::string& body, int n) {
    const std::string marker = "END " + std::to_string(n);
    const std::string reply = body + marker + "\r\nscpi > ";
    const TConsoleScreen& screen = form->Console1()->Screen();
    watch.Painted = false;
    watch.Awaited = [&] {
      const int y = screen.CursorY();
      return y > 0 && screen.RowText(y) == "scpi >" && screen.RowText(y - 1) == marker;
    };
    const auto start = SteadyClock::now();
    WriteAll(pty.master, reply);
    while (!watch.Painted) {
      QApplication::processEvents(QEventLoop::AllEvents, 1);
      if (SteadyClock::now() - start > std::chrono::seconds(5)) return -1;
    }
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
  }

  PseudoTerminal pty;
  std::string folder;
  SharedReceiverState state;
  SystemClock clock;  // the program's own pace: one forwarding pass every 10 ms
  std::unique_ptr<VarnexContext> context;
  std::unique_ptr<VarnexWindows> windows;
  TCommandForm* form = nullptr;
  PaintWatch watch;
};

Rig& TheRig() {
  static Rig* rig = new Rig;  // one program run, as the windows are created once
  return *rig;
}

void ReplyToPaint(benchmark::State& st, const std::string& body) {
  Rig& rig = TheRig();
  int n = 0;
  double worst = 0;
  for (auto _ : st) {
    const double seconds = rig.OneReply(body, ++n);
    if (seconds < 0) {
      st.SkipWithError("a reply never reached the console");
      return;
    }
    worst = std::max(worst, seconds);
    st.SetIterationTime(seconds);
  }
  st.counters["worst_ms"] = worst * 1000;
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations()) * static_cast<std::int64_t>(body.size()));
}

// "*IDN?": one short line.
void BM_ShortReplyToPaint(benchmark::State& st) { ReplyToPaint(st, "HEWLETT-PACKARD,Z3801A,3542A01234,3.0\r\n"); }
BENCHMARK(BM_ShortReplyToPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

// ":SYST:STAT?": a whole status screen of about 2 KB at once.
void BM_StatusScreenToPaint(benchmark::State& st) {
  std::string screen;
  for (int i = 0; i < 26; ++i) {
    std::string line = "Status line " + std::to_string(i) + ": ";
    while (line.size() < 78) line.push_back(static_cast<char>('A' + line.size() % 26));
    screen += line + "\r\n";
  }
  ReplyToPaint(st, screen);
}
BENCHMARK(BM_StatusScreenToPaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(100);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The windows and the poll thread end with the process, as in the program.
  _exit(0);
}
