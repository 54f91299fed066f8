#include "one_pad/update_session.h"

#include "image/memory_image_files.h"
#include "one_pad/console_observer.h"
#include "pads/trace_transport.h"

namespace morvik::cli {
namespace {

std::optional<ExitCode> versionQueryFailure(VersionQueryResult result, std::ostream& err) {
  switch (result) {
    case VersionQueryResult::Reported: return std::nullopt;
    case VersionQueryResult::OpenFailed:
      err << "Cannot open the pad for reading and writing.\n";
      return ExitCode::NoAccess;
    case VersionQueryResult::NoAnswer:
      err << "The pad did not report its firmware version. Reconnect it in boot mode and try again.\n";
      return ExitCode::PadLost;
    case VersionQueryResult::LinkLost:
      err << "The pad went away before it reported its firmware version.\n";
      return ExitCode::PadLost;
    case VersionQueryResult::Stopped:
      err << "Cancelled before the update began; the pad's firmware is unchanged.\n";
      return ExitCode::Cancelled;
  }
  return ExitCode::Error;
}

}  // namespace

ExitCode updatePad(PollingHidTransport& pad, const UpdateRequest& request, SessionIo io, StopToken stop) {
  // A bar redrawn in place would run into the trace's lines, so a trace gets plain progress lines.
  const bool drawBar = io.terminal && !request.trace;
  ConsoleObserver observer({request.imagePath, request.assumeYes, drawBar, request.timing.headerSilenceLimit},
                           io.answers, io.out, io.err, stop);
  TracingTransport traced(pad, io.out);
  PollingHidTransport& link = request.trace ? static_cast<PollingHidTransport&>(traced) : pad;
  MemoryImageFiles checkedImage(request.imagePath, request.image.bytes);
  UpdateEngine engine(FrontEndForm::Polling, observer, &checkedImage, request.timing);
  observer.attach(engine);

  if (auto failure = versionQueryFailure(engine.QueryDeviceVersion(link, stop), io.err)) return *failure;

  switch (engine.ReaderLoop(link, stop)) {
    case ReaderOutcome::BeginFailed:
      io.err << "Cannot send to the pad: the update could not begin.\n";
      return ExitCode::PadLost;
    case ReaderOutcome::Stopped:
      observer.endProgress();
      io.err << (observer.writingStarted()
                     ? "Update cancelled part-way. The pad stays in boot mode; run the update again to finish it.\n"
                     : "Update cancelled; the pad's firmware was not changed.\n");
      return ExitCode::Cancelled;
    case ReaderOutcome::Ended: break;
  }
  return observer.ending().value_or(ExitCode::Error);
}

}  // namespace morvik::cli
