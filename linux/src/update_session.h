// One run of "morvik-update IMAGE.dat" once a pad is at hand: version query, confirmation,
// the stream, and the exit status that says how it ended.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "answer_source.h"
#include "exit_codes.h"
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

// Refuses an image that cannot be sent (before any pad is looked for); says nothing when it is fine
// but for a note about payload bytes beyond its stated length.
std::optional<ExitCode> checkImage(const std::string& path, SessionIo io);

struct UpdateRequest {
  std::string imagePath;
  bool assumeYes = false;
  bool trace = false;
  ReaderTiming timing{};
};

ExitCode updatePad(PollingHidTransport& pad, const UpdateRequest& request, SessionIo io, StopToken stop);

}  // namespace morvik::cli
