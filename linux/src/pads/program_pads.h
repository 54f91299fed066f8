// The pads morvik-update works on: a bench of simulated pads (--simulate), or those on USB
// through hidapi, which stays ready for as long as this lives.
#pragma once

#include <memory>
#include <optional>

#include "cli/cli_options.h"
#include "pads/hidapi_pad.h"
#include "pads/pad_source.h"

namespace morvik::cli {

class ProgramPads {
 public:
  explicit ProgramPads(const CliOptions& options);
  // Null when the USB HID library could not start.
  PadSource* source() const { return source_.get(); }

 private:
  std::optional<HidapiLibrary> hidapi_;
  std::unique_ptr<PadSource> source_;
};

inline constexpr const char* kNoHidapi = "Cannot start the USB HID library (hidapi).\n";

}  // namespace morvik::cli
