// Shows the engine's notifications on the console and remembers how the update ended,
// which becomes the program's exit status.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "morvik/exit_codes.h"
#include "console/answer_source.h"
#include "console/delayed_action.h"
#include "console/progress_display.h"
#include "morvik/stop_signal.h"
#include "morvik/update_engine.h"

namespace morvik::cli {

struct ConsoleSettings {
  std::string imagePath;
  bool assumeYes = false;
  bool terminal = false;  // standard output is a terminal: draw a progress bar
  // How long the pad may take to acknowledge the header (it erases its flash first), and how
  // long a silence passes before the user is told so.
  std::chrono::milliseconds headerWait = kHeaderAnswerWait;
  std::chrono::milliseconds preparingNoticeAfter{3000};
};

class ConsoleObserver final : public UpdateObserver {
 public:
  ConsoleObserver(ConsoleSettings settings, AnswerSource& answers, std::ostream& out, std::ostream& err,
                  StopToken stop);

  void onDeviceVersion(std::uint32_t version) override;
  void onFactoryVersion() override;
  void onNotInBootMode() override;
  std::optional<std::string> chooseImageFile() override;
  Confirmation confirmImage(std::uint32_t imageVersion, std::uint32_t padVersion) override;
  void onUpdateCancelled() override;
  void onImageUnreadable(ImageProblem problem) override;
  void onProgress(std::int32_t percent) override;
  void onImageSent() override;
  void onUpdateSucceeded() override;
  void onUpdateFailed(UpdateFailure cause) override;
  void onUnaskedDeviceInfo() override;

  // The exit status of the notification that ended the update; nothing while none has.
  std::optional<ExitCode> ending() const { return ending_; }
  // The engine whose failures this observer shows, for the reason it keeps of each.
  void attach(const UpdateEngine& engine) { engine_ = &engine; }

  // Ends the progress line before anything else is printed.
  void endProgress();

 private:
  void recordEnding(ExitCode code) { ending_ = code; }
  // The pad answered or the update ended: the word about a long wait is no longer due.
  void padMoved() { preparingNotice_.cancel(); }

  ConsoleSettings settings_;
  const UpdateEngine* engine_ = nullptr;
  AnswerSource& answers_;
  std::ostream& out_;
  std::ostream& err_;
  StopToken stop_;
  ProgressDisplay progress_;
  std::uint32_t imageVersion_ = 0;
  std::optional<ExitCode> ending_;
  bool otherProgramNoted_ = false;
  // Declared last, so that its thread has ended before anything it writes to goes.
  DelayedAction preparingNotice_;
};

}  // namespace morvik::cli
