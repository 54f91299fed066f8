#include "bench/bench_session.h"

#include <algorithm>
#include <atomic>
#include <list>
#include <mutex>
#include <set>
#include <thread>
#include <variant>

#include "console/delayed_action.h"
#include "morvik/version_text.h"
#include "image/memory_image_files.h"
#include "morvik/protocol.h"
#include "pads/pad_opening.h"

namespace morvik::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kRefreshEvery{100};
// A pad silent this long after the header is said to be erasing its flash.
constexpr std::chrono::milliseconds kPreparingNoticeAfter{3000};

// What the question says beside a pad whose version is not older than the image's.
std::string versionNotice(std::uint32_t padVersion, std::uint32_t imageVersion) {
  if (padVersion == kFactoryVersion || padVersion == kVersionUnknown || padVersion < imageVersion) return "";
  if (padVersion == imageVersion) return "  (already runs v" + versionText(imageVersion) + ": written again)";
  return "  (a downgrade: its firmware is newer than the image's)";
}

PadResult resultFor(const PadEntry& pad, PadOutcome outcome, ExitCode code, std::string reason) {
  PadResult result;
  result.pad = pad;
  result.outcome = outcome;
  result.code = code;
  result.reason = std::move(reason);
  return result;
}

// One pad's side of the engine. It never blocks: the bench asked its one question before.
class PadObserver final : public UpdateObserver {
 public:
  PadObserver(const PadEntry& pad, const std::string& imagePath, std::chrono::milliseconds headerWait, BenchView& view)
      : pad_(pad), imagePath_(imagePath), view_(view), headerWait_(headerWait) {}

  void onDeviceVersion(std::uint32_t) override {}
  void onFactoryVersion() override {}
  void onNotInBootMode() override { end(PadOutcome::Failed, ExitCode::NotInBootMode, "the pad is not in boot mode"); }
  std::optional<std::string> chooseImageFile() override { return imagePath_; }
  Confirmation confirmImage(std::uint32_t, std::uint32_t) override {
    view_.padProgress(pad_, 0);
    const auto waitSeconds = std::chrono::duration_cast<std::chrono::seconds>(headerWait_).count();
    preparing_.start(kPreparingNoticeAfter, [this, waitSeconds] {
      view_.note(padLabel(pad_) + ": the pad is preparing for the image (erasing its flash); waiting up to " +
                 std::to_string(waitSeconds) + " s for it.");
    });
    return Confirmation::Ok;
  }
  void onUpdateCancelled() override { end(PadOutcome::Failed, ExitCode::Cancelled, "the update was cancelled"); }
  void onImageUnreadable(ImageProblem) override {
    end(PadOutcome::Failed, ExitCode::ImageRefused, "the image could not be used");
  }
  void onProgress(std::int32_t percent) override {
    preparing_.cancel();
    view_.padProgress(pad_, percent);
  }
  void onImageSent() override {
    preparing_.cancel();
    view_.padProgress(pad_, 100);
  }
  void onUpdateSucceeded() override { end(PadOutcome::Updated, ExitCode::Success, ""); }
  void onUpdateFailed(UpdateFailure cause) override {
    end(PadOutcome::Failed, exitCodeOf(cause),
        describeFailure(cause, engine_ ? engine_->lastFailureReason() : "") +
            (engine_ && engine_->padFirmwareTouched()
                 ? "; the pad stays in boot mode: run the update again to restore its firmware"
                 : "; nothing was written to the pad"));
  }
  void onUnaskedDeviceInfo() override {
    if (otherProgramNoted_) return;
    otherProgramNoted_ = true;
    view_.note(padLabel(pad_) +
               ": another program seems to be using the pad (it began an update of its own): "
               "close it. This update ignores it and goes on.");
  }

  void attach(const UpdateEngine& engine) { engine_ = &engine; }
  std::optional<PadResult>& ending() { return ending_; }

 private:
  void end(PadOutcome outcome, ExitCode code, std::string reason) {
    preparing_.cancel();
    ending_ = resultFor(pad_, outcome, code, std::move(reason));
  }

  PadEntry pad_;
  const std::string& imagePath_;
  BenchView& view_;
  const UpdateEngine* engine_ = nullptr;
  bool otherProgramNoted_ = false;
  std::optional<PadResult> ending_;
  const std::chrono::milliseconds headerWait_;
  // Declared last, so that its thread has ended before anything it touches goes.
  DelayedAction preparing_;
};

// A pad being served: locked, open, its version known; its update runs on its own thread.
struct PadJob {
  std::optional<OpenPad> open;
  PadEntry pad;
  MemoryImageFiles files;
  PadObserver observer;
  UpdateEngine engine;
  std::optional<std::uint32_t> versionBefore;
  Clock::time_point started = Clock::now();
  std::thread thread;
  std::atomic<bool> ended{false};
  ReaderOutcome outcome = ReaderOutcome::Ended;

  PadJob(const PadEntry& entry, const BenchSettings& settings, BenchView& view)
      : pad(entry),
        files(settings.imagePath, settings.image.bytes),
        observer(entry, settings.imagePath, settings.timing.headerSilenceLimit, view),
        engine(FrontEndForm::Polling, observer, &files, settings.timing) {
    observer.attach(engine);
  }
};

class Bench {
 public:
  Bench(PadSource& source, const BenchSettings& settings, BenchView& view, OutcomeLog* log, StopToken stop)
      : source_(source),
        settings_(settings),
        imageVersion_(settings.image.header.version),
        view_(view),
        log_(log),
        stop_(std::move(stop)) {}

  ExitCode all(const BenchQuestion& ask);
  ExitCode watch(const BenchQuestion& ask);

 private:
  bool wanted(const PadEntry& pad) const {
    return pad.bootMode && (!settings_.only || pad.path == *settings_.only || pad.serial == *settings_.only);
  }
  // Locks, opens and asks the version of one pad: a job ready to update it, or its outcome.
  std::variant<std::unique_ptr<PadJob>, PadResult> prepare(const PadEntry& pad);
  void launch(PadJob& job);
  void finish(PadJob& job);
  void report(PadResult result);
  void finishEnded();
  void waitForAll();
  void sayCancelNote();
  ExitCode exitCode() const;

  PadSource& source_;
  const BenchSettings& settings_;
  std::uint32_t imageVersion_;
  BenchView& view_;
  OutcomeLog* log_;
  StopToken stop_;
  std::list<std::unique_ptr<PadJob>> jobs_;
  BenchTally tally_;
  std::optional<ExitCode> lastCode_;  // the exit status of the last pad that ended
  bool logFailed_ = false;
};

std::variant<std::unique_ptr<PadJob>, PadResult> Bench::prepare(const PadEntry& pad) {
  auto job = std::make_unique<PadJob>(pad, settings_, view_);
  auto opened = openPad(source_, pad, job->engine, stop_);
  if (const auto* ending = std::get_if<PadEnding>(&opened))
    return resultFor(pad, ending->outcome, ending->code, ending->reason);
  job->open.emplace(std::move(std::get<OpenPad>(opened)));
  job->versionBefore = job->engine.deviceVersion();
  view_.padFound(pad, job->versionBefore, imageVersion_);
  if (*job->versionBefore == imageVersion_ && !settings_.force) {
    auto skipped = resultFor(pad, PadOutcome::Skipped, ExitCode::Success,
                             "it already runs v" + versionText(imageVersion_) + " (--force updates it anyway)");
    skipped.versionBefore = job->versionBefore;
    return skipped;
  }
  return job;
}

void Bench::launch(PadJob& job) {
  job.started = Clock::now();
  job.thread = std::thread([this, &job] {
    job.outcome = job.engine.ReaderLoop(job.open->link(), stop_);
    job.ended = true;
  });
}

void Bench::finish(PadJob& job) {
  job.thread.join();
  PadResult result;
  if (job.outcome == ReaderOutcome::Ended && job.observer.ending()) {
    result = *job.observer.ending();
  } else {
    // A reader that ended without the engine telling how counts as stopped.
    const ReaderOutcome outcome = job.outcome == ReaderOutcome::Ended ? ReaderOutcome::Stopped : job.outcome;
    const auto ending = readerEnding(outcome, job.engine.padFirmwareTouched(), job.open->lastError());
    result = resultFor(job.pad, ending->outcome, ending->code, ending->reason);
  }
  result.pad = job.pad;
  result.versionBefore = job.versionBefore;
  result.duration = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - job.started);
  result.bytesSent = job.engine.bytesSent();
  report(std::move(result));
}

void Bench::report(PadResult result) {
  result.imageVersion = imageVersion_;
  tally_.count(result.outcome);
  lastCode_ = result.code;
  view_.padFinished(result);
  if (std::string error; log_ && !log_->write(result, error)) {
    view_.note("Cannot write the log: " + error);
    logFailed_ = true;
  }
}

void Bench::finishEnded() {
  for (auto it = jobs_.begin(); it != jobs_.end();) {
    if ((*it)->ended) {
      finish(**it);
      it = jobs_.erase(it);
    } else {
      ++it;
    }
  }
}

void Bench::waitForAll() {
  while (!jobs_.empty()) {
    stop_.sleepUntil(Clock::now() + kRefreshEvery);
    sayCancelNote();
    view_.refresh();
    finishEnded();
  }
}

// Said once, between the pads' lines; a station stopped while it served no pad just stops.
void Bench::sayCancelNote() {
  if (!settings_.cancelNote) return;
  if (const auto note = settings_.cancelNote())
    view_.note(settings_.watch && jobs_.empty() ? "Stopped watching." : *note);
}

ExitCode Bench::exitCode() const {
  if (settings_.alone && lastCode_ && *lastCode_ != ExitCode::Success) return *lastCode_;
  if (tally_.interrupted > 0) return ExitCode::Cancelled;
  if (tally_.failed > 0) return ExitCode::SomePadsFailed;
  return logFailed_ ? ExitCode::Error : ExitCode::Success;
}

ExitCode Bench::all(const BenchQuestion& ask) {
  std::vector<PadEntry> pads = source_.enumerate();
  std::erase_if(pads, [&](const PadEntry& pad) { return !wanted(pad); });
  if (pads.empty()) return ExitCode::NoPad;
  std::vector<std::unique_ptr<PadJob>> ready;
  for (const PadEntry& pad : pads) {
    auto prepared = prepare(pad);
    if (auto* result = std::get_if<PadResult>(&prepared))
      report(std::move(*result));
    else
      ready.push_back(std::move(std::get<std::unique_ptr<PadJob>>(prepared)));
  }
  if (!ready.empty()) {
    std::string question = "Update " + std::to_string(ready.size()) + (ready.size() == 1 ? " pad" : " pads") + " to v" +
                           versionText(imageVersion_) + "?\n";
    for (const auto& job : ready)
      question += "  " + padLabel(job->pad) + "  v" + versionBeforeText(job->versionBefore) +
                  versionNotice(*job->versionBefore, imageVersion_) + '\n';
    if (!ask(question)) {
      for (const auto& job : ready) {
        auto declined = resultFor(job->pad, PadOutcome::Skipped, ExitCode::Cancelled, "not updated: the answer was no");
        declined.versionBefore = job->versionBefore;
        report(std::move(declined));
      }
      sayCancelNote();
      view_.tally(tally_, ExitCode::Cancelled);
      return ExitCode::Cancelled;
    }
    for (auto& job : ready) {
      launch(*job);
      jobs_.push_back(std::move(job));
    }
  }
  waitForAll();
  sayCancelNote();
  view_.refresh();
  view_.tally(tally_, exitCode());
  return exitCode();
}

ExitCode Bench::watch(const BenchQuestion& ask) {
  std::string question = "Update every pad in boot mode to v" + versionText(imageVersion_) + " as it is plugged in";
  question += settings_.count ? ", until " + std::to_string(*settings_.count) + " are updated or Ctrl-C?\n"
                              : ", until Ctrl-C?\n";
  if (!ask(question)) {
    sayCancelNote();
    return ExitCode::Cancelled;
  }
  view_.note("Watching for pads; Ctrl-C ends.");  // short enough for 40 columns
  // A pad is served once per plugging: it is tried again only after it left the list.
  std::set<std::string> served;
  auto nextLook = Clock::now();
  while (!stop_.stop_requested() && !(settings_.count && tally_.updated >= *settings_.count)) {
    if (Clock::now() >= nextLook) {
      nextLook = Clock::now() + settings_.lookEvery;
      const std::vector<PadEntry> present = source_.enumerate();
      std::erase_if(served, [&](const std::string& path) {
        const bool active = std::any_of(jobs_.begin(), jobs_.end(), [&](const auto& j) { return j->pad.path == path; });
        const bool stillBoot = std::any_of(present.begin(), present.end(),
                                           [&](const PadEntry& p) { return p.path == path && p.bootMode; });
        return !active && !stillBoot;
      });
      for (const PadEntry& pad : present) {
        if (!wanted(pad) || served.count(pad.path)) continue;
        // Pads being updated count towards --count: none is started that the count cannot use.
        if (settings_.count && tally_.updated + jobs_.size() >= *settings_.count) break;
        served.insert(pad.path);
        auto prepared = prepare(pad);
        if (auto* result = std::get_if<PadResult>(&prepared)) {
          report(std::move(*result));
        } else {
          auto& job = std::get<std::unique_ptr<PadJob>>(prepared);
          launch(*job);
          jobs_.push_back(std::move(job));
        }
      }
    }
    stop_.sleepUntil(std::min(nextLook, Clock::now() + kRefreshEvery));
    sayCancelNote();
    view_.refresh();
    finishEnded();
  }
  waitForAll();  // after --count: the pads still being served finish; after Ctrl-C they end at once
  sayCancelNote();
  view_.refresh();
  view_.tally(tally_, exitCode());
  return exitCode();
}

}  // namespace

ExitCode runBench(PadSource& source, const BenchSettings& settings, BenchView& view, OutcomeLog* log,
                  const BenchQuestion& ask, StopToken stop) {
  Bench bench(source, settings, view, log, std::move(stop));
  return settings.watch ? bench.watch(ask) : bench.all(ask);
}

}  // namespace morvik::cli
