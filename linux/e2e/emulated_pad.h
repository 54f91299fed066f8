// One emulated pad: the simulated pad behind a hidraw node of a umockdev testbed. A program
// started under umockdev's preload opens the node with hidapi as it would a real pad; its
// ioctls, writes and reads come here.
//
// The preload forwards read, write and ioctl but not poll, and the node is a pty. So while
// answers wait to be read, one token byte sits in the pty for poll to see; the read that takes
// the last answer also takes the token.
#pragma once

#include <umockdev.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <fstream>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "morvik/simulated_pad.h"
#include "morvik/pad_options.h"
#include "pad_sysfs.h"

namespace morvik::e2e {

struct PadSetup {
  PadOptions options;  // how the simulated pad behaves, where its records go
  std::uint16_t productId = 0x5750;
  std::string serial;
  std::chrono::milliseconds plugAfter{0};  // the pad is plugged in this long after the start
};

class EmulatedPad {
 public:
  EmulatedPad(UMockdevTestbed* testbed, unsigned index, PadSetup setup);
  ~EmulatedPad();
  EmulatedPad(const EmulatedPad&) = delete;
  EmulatedPad& operator=(const EmulatedPad&) = delete;

  const PadSetup& setup() const { return setup_; }
  // Adds the pad's devices to the testbed; false (with a message on stderr) when that failed.
  bool plug();
  // Takes its devices away, node first, as the kernel does when the cable is pulled.
  void unplug();
  bool plugged() const;
  // The simulated pad went away (its --vanish-after came) but its devices are still there.
  bool leaving() const;
  // How many data frames the pad has taken since the last header.
  std::uint32_t dataFramesReceived() const { return pad_.received().dataFrames; }
  // Writes what the pad received (and how long the stream took) once; later calls do nothing.
  void saveReceived();

 private:
  static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  static gboolean onWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self);
  void answerIoctl(UMockdevIoctlClient* client);
  void deliverAnswer(UMockdevIoctlClient* client);
  void takeReport(UMockdevIoctlClient* client);
  void collectAnswers();
  void trace(std::string_view direction, std::span<const std::uint8_t> report);

  UMockdevTestbed* testbed_;
  PadSetup setup_;
  PadSysfs sysfs_;
  SimulatedPad pad_;
  UMockdevIoctlBase* handler_ = nullptr;

  mutable std::mutex mutex_;
  std::condition_variable stopping_;
  bool stop_ = false;
  bool plugged_ = false;
  int tokenFd_ = -1;  // the pty's other end: a byte there makes the node readable
  bool tokenSet_ = false;
  std::deque<PadReport> answers_;  // due answers the program has not read yet
  std::ofstream trace_;
  bool saved_ = false;
  std::chrono::steady_clock::time_point streamStart_{};
  std::chrono::steady_clock::time_point streamEnd_{};
  // When each data frame of the stream was written: the gaps are the round trips, as the pad sees
  // them whatever stack the program reaches it through.
  std::vector<std::chrono::steady_clock::time_point> dataFrameTimes_;
  std::thread answerer_;
};

}  // namespace morvik::e2e
