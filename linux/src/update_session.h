// One run of "morvik-update IMAGE.dat" once a pad is at hand: version query, confirmation,
// the stream, and the exit status that says how it ended.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "answer_source.h"
#include "exit_codes.h"
#include "image_info.h"
#include "morvik/hid_transport.h"
#include "morvik/stop_signal.h"
#include "morvik/update_engine.h"

namespace morvik::cli {

struct SessionIo {
  std::ostream& out;
  std::ostream& err;
  AnswerSource& answers;
  bool terminal = false;
};

// Refuses an image that cannot be sent (before any pad is looked for), with the exit status that
// says why; says nothing when it is fine but for a note about payload bytes beyond its stated length.
std::optional<ExitCode> checkImage(const std::string& path, const ImageReport& report, SessionIo io);

struct UpdateRequest {
  std::string imagePath;
  bool assumeYes = false;
  bool trace = false;
  ReaderTiming timing{};
  // The image as checked (ImageReport::contents): when present, the update is served from it
  // and the file is not read again.
  std::shared_ptr<const std::vector<std::uint8_t>> imageContents;
};

ExitCode updatePad(PollingHidTransport& pad, const UpdateRequest& request, SessionIo io, StopToken stop);

}  // namespace morvik::cli
