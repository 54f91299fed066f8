#include "one_pad/update_session.h"

#include "console/printable_text.h"
#include "image/memory_image_files.h"
#include "one_pad/console_observer.h"
#include "pads/pad_opening.h"
#include "pads/trace_transport.h"
#include "trace/trace_recorder.h"

namespace morvik::cli {
namespace {

// One pad's update on the console: the observer that shows it and the engine that runs it,
// served from the checked image.
class Session {
 public:
  Session(const UpdateRequest& request, SessionIo io, StopToken stop)
      : io_(io),
        stop_(std::move(stop)),
        files_(request.imagePath, request.image.bytes),
        // A bar redrawn in place would run into the trace's lines, so a trace gets plain progress lines.
        observer_(
            {request.imagePath, request.assumeYes, io.terminal && !request.trace, request.timing.headerSilenceLimit},
            io.answers, io.out, io.err, stop_),
        engine_(FrontEndForm::Polling, observer_, &files_, request.timing) {
    observer_.attach(engine_);
  }

  UpdateEngine& engine() { return engine_; }
  const StopToken& stop() const { return stop_; }

  ExitCode end(const PadEnding& ending) {
    io_.err << ending.sentence;
    reason_ = ending.reason;
    return ending.code;
  }

  ExitCode endTrace(TraceRecorder& trace, std::ostream& file, ExitCode code) {
    trace.finish(code, reason_.empty() ? engine_.lastFailureReason() : reason_);
    if (file.flush()) return code;
    io_.err << "The trace could not be written whole (disk full?).\n";
    return code == ExitCode::Success ? ExitCode::Error : code;
  }

  // Runs the update on a pad whose version the engine knows.
  ExitCode update(PollingHidTransport& link) {
    const ReaderOutcome outcome = engine_.ReaderLoop(link, stop_);
    if (outcome == ReaderOutcome::Stopped) observer_.endProgress();
    if (const auto ending = readerEnding(outcome, engine_.padFirmwareTouched(), link.lastError())) return end(*ending);
    return observer_.ending().value_or(ExitCode::Error);
  }

 private:
  SessionIo io_;
  StopToken stop_;
  MemoryImageFiles files_;
  ConsoleObserver observer_;
  UpdateEngine engine_;
  std::string reason_;  // of an ending the engine did not tell
};

}  // namespace

ExitCode updatePad(PollingHidTransport& pad, const UpdateRequest& request, SessionIo io, StopToken stop) {
  Session session(request, io, std::move(stop));
  PrintedTrace printed(io.out);
  TracingTransport traced(pad, {&printed});
  PollingHidTransport& link = request.trace ? static_cast<PollingHidTransport&>(traced) : pad;
  if (const auto ending = queryVersion(session.engine(), link, session.stop())) return session.end(*ending);
  return session.update(link);
}

ExitCode updatePad(PadSource& source, const PadEntry& pad, const UpdateRequest& request, SessionIo io, StopToken stop,
                   bool sayFound) {
  Session session(request, io, std::move(stop));
  PrintedTrace printed(io.out);
  std::optional<TraceRecorder> recorder;
  std::vector<TraceSink*> traces;
  if (request.trace) traces.push_back(&printed);
  if (request.traceFile) traces.push_back(&recorder.emplace(*request.traceFile, request.imagePath, request.image, pad));
  auto opened = openPad(source, pad, session.engine(), session.stop(), traces, [&] {
    if (sayFound) io.out << "Found the pad in boot mode at " << printable(pad.path) << ".\n";
  });
  if (recorder) recorder->padVersion(session.engine().deviceVersion());
  const auto* ending = std::get_if<PadEnding>(&opened);
  const ExitCode code = ending ? session.end(*ending) : session.update(std::get<OpenPad>(opened).link());
  return recorder ? session.endTrace(*recorder, *request.traceFile, code) : code;
}

}  // namespace morvik::cli
