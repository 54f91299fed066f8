// Where morvik-update finds its pads: USB through hidapi, or a bench of simulated pads. The
// rest of the program (choosing a pad, updating one or many) works the same on either.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "morvik/hid_transport.h"
#include "pads/pad_discovery.h"

namespace morvik::cli {

class PadSource {
 public:
  virtual ~PadSource() = default;
  // The pads present now.
  virtual std::vector<PadEntry> enumerate() = 0;
  // Opens `pad` for reading and writing; null with `error` set when it cannot be opened.
  virtual std::shared_ptr<PollingHidTransport> open(const PadEntry& pad, std::string& error) = 0;
  // Whether two programs could reach the same pad, so that its use must be locked (simulated
  // pads live inside one process).
  virtual bool shared() const = 0;
};

}  // namespace morvik::cli
