// A link-time stand-in for the part of hidapi the pad's link calls: it keeps every buffer
// handed to hid_write, and plays back what the test queued for hid_read_timeout.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace morvik::cli::testing {

struct HidapiStandIn {
  bool opens = true;
  int writeResult = -2;  // what hid_write returns; -2: the length it was given
  std::vector<std::vector<unsigned char>> written;
  // What each read returns: a report, or a result without one (0: time-out, -1: failure).
  struct Read {
    std::vector<unsigned char> report;
    int result = 0;
  };
  std::deque<Read> reads;  // none left: the read times out
  std::vector<std::size_t> readLengths;
  std::vector<int> readTimeouts;
  std::wstring error = L"Input/output error";
};

// The stand-in's state, fresh for each test that calls it.
HidapiStandIn& resetHidapiStandIn();
HidapiStandIn& hidapiStandIn();

}  // namespace morvik::cli::testing
