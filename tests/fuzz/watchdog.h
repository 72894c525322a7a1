// Raises the stop flag after a few milliseconds unless told to finish first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "position/clock.h"

struct Watchdog {
  std::mutex lock;
  std::condition_variable wake;
  bool done = false;
  std::thread thread;

  explicit Watchdog(int ms) {
    thread = std::thread([this, ms] {
      std::unique_lock<std::mutex> guard(lock);
      if (!wake.wait_for(guard, std::chrono::milliseconds(ms), [this] { return done; }))
        raise_stop();
    });
  }
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> guard(lock);
      done = true;
    }
    wake.notify_one();
    thread.join();
  }
};
