#pragma once
// Work shared out over threads: the work function takes its pieces from a
// common counter, so it runs on this thread and on up to `extra` more, and
// this returns when every piece is done. A thread that cannot be had is no
// fault; the threads there do the rest.
#include <thread>
#include <vector>

template <class Work>
void RunOnThreads(unsigned extra, Work& work) {
  std::vector<std::thread> helpers;
  for (unsigned k = 0; k < extra; ++k) {
    try {
      helpers.emplace_back([&work] { work(); });
    } catch (...) {
      break;
    }
  }
  work();
  for (std::thread& t : helpers) t.join();
}
