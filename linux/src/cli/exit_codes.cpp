#include "cli/exit_codes.h"

namespace morvik::cli {

const char* exitMeaning(ExitCode code) {
  switch (code) {
    case ExitCode::Success: return "success";
    case ExitCode::Error: return "error";
    case ExitCode::Usage: return "usage";
    case ExitCode::NoPad: return "no pad";
    case ExitCode::NotInBootMode: return "not in boot mode";
    case ExitCode::ImageRefused: return "image refused";
    case ExitCode::Cancelled: return "cancelled";
    case ExitCode::PadFailed: return "pad failed";
    case ExitCode::PadLost: return "pad lost";
    case ExitCode::NoAccess: return "no access";
    case ExitCode::SeveralPads: return "several pads";
    case ExitCode::SomePadsFailed: return "some pads not updated";
    case ExitCode::PadInUse: return "pad in use";
    case ExitCode::ReplayDiffers: return "replay differs";
  }
  return "error";
}

ExitCode exitCodeOf(UpdateFailure cause) {
  switch (cause) {
    case UpdateFailure::PadReportedError: return ExitCode::PadFailed;
    case UpdateFailure::WriteFailed:
    case UpdateFailure::PadSilent:
    case UpdateFailure::PadGone: return ExitCode::PadLost;
  }
  return ExitCode::Error;
}

}  // namespace morvik::cli
