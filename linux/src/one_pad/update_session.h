// One run of "morvik-update IMAGE.dat" on the pad chosen for it: version query, confirmation,
// the stream, and the exit status that says how it ended.
#pragma once

#include <ostream>
#include <string>

#include "morvik/exit_codes.h"
#include "console/answer_source.h"
#include "morvik/checked_image.h"
#include "morvik/hid_transport.h"
#include "morvik/stop_signal.h"
#include "morvik/update_engine.h"
#include "pads/pad_source.h"

namespace morvik::cli {

struct SessionIo {
  std::ostream& out;
  std::ostream& err;
  AnswerSource& answers;
  bool terminal = false;
};

struct UpdateRequest {
  std::string imagePath;
  bool assumeYes = false;
  bool trace = false;
  ReaderTiming timing{};
  // The image as read and checked: the update is served from it, the file is not read again.
  CheckedImage image;
  std::ostream* traceFile = nullptr;  // --trace=FILE, open
};

// Updates a pad already open.
ExitCode updatePad(PollingHidTransport& pad, const UpdateRequest& request, SessionIo io, StopToken stop);
// Locks, opens and updates `pad` from `source`; `sayFound` tells the user where it was found
// once it is open. A trace file gets the whole trace, its outcome last; a trace that could not
// be written whole turns a success into ExitCode::Error.
ExitCode updatePad(PadSource& source, const PadEntry& pad, const UpdateRequest& request, SessionIo io, StopToken stop,
                   bool sayFound);

}  // namespace morvik::cli
