#pragma once
// Where a search's walk halts while the job is paused or being stopped. The
// command thread closes the gate; the walker passes it before each key's
// values and subkeys, and waits there while it is closed. Either side may
// open it, so a driver that goes away never leaves a walker waiting.

#include <condition_variable>
#include <mutex>

namespace talmoor::search {

class PauseGate {
 public:
  void close();
  void open();
  bool closed() const;

  // The walker's side: the walk begins and ends (a walker past its last
  // pause point can no longer be halted), and passes the gate.
  void walkStarted();
  void walkEnded();
  bool walking() const;
  void pass();

  // Waits until the walker halts at the closed gate, or has ended.
  void waitUntilHalted();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  bool walking_ = false;
  int halted_ = 0;  // walkers waiting at the gate
};

}  // namespace talmoor::search
