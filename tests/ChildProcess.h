#pragma once
// Waiting for a program a test started.
#include <sys/wait.h>

#include <chrono>
#include <thread>

// The exit status, or -1 when the process did not end within the bound.
inline int WaitExit(pid_t pid, std::chrono::milliseconds bound) {
  const auto until = std::chrono::steady_clock::now() + bound;
  int status = 0;
  while (std::chrono::steady_clock::now() < until) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}
