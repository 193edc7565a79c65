// varnex-logger: logs the receiver without a display, into the same files as Varnex.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HeadlessLogger.h"
#include "LoggerRules.h"
#include "frontend/Version.h"
#include "link/SharedReceiverState.h"
#include "platform/Clock.h"
#include "platform/FolderLock.h"

namespace {
std::mutex stderrMutex;

// One line on standard error, from either thread.
void SayOnStderr(const std::string& line) {
  std::lock_guard<std::mutex> lock(stderrMutex);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}
}  // namespace

int main(int argc, char** argv) {
  LoggerOptions options = ParseLoggerOptions(std::vector<std::string>(argv + 1, argv + argc), "");
  if (!options.Error.empty()) {
    SayOnStderr(std::string(LoggerProgramName) + ": " + options.Error);
    return 2;
  }
  if (options.Folder.empty() && !options.Help && !options.Version) {
    // Without --folder: the folder Varnex itself would use, made on first use.
    std::string problem;
    options.Folder = LoggerDefaultFolder(&problem);
    if (!problem.empty()) {
      SayOnStderr(std::string(LoggerProgramName) + ": " + problem);
      return 1;
    }
  }
  if (options.Help) {
    std::fputs(LoggerUsage().c_str(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("%s %s\n", LoggerProgramName, VarnexVersion);
    return 0;
  }

  InstallLoggerSignalHandlers();
  FolderLock lock;
  std::string error;
  if (!lock.Acquire(options.Folder, LoggerProgramName, &error)) {
    SayOnStderr(std::string(LoggerProgramName) + ": " + error);
    return 1;
  }
  // Never freed: a poll thread that overran its stop may still use them at exit.
  static SharedReceiverState* const state = new SharedReceiverState;
  static SystemClock* const clock = new SystemClock;
  HeadlessLogger logger(options.Folder, *state, *clock, SayOnStderr);
  logger.MetricsFileOverride = options.MetricsFile;
  logger.MetricsListenOverride = options.MetricsListen;
  if (!logger.Start(&error)) {
    SayOnStderr(std::string(LoggerProgramName) + ": " + error);
    return 1;
  }
  RunLogger(logger, ProcessControl(), [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
  logger.Stop();
  return 0;
}
