#include "morvik/exit_codes.h"

namespace morvik {

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
    case ExitCode::NoFeed: return "no feed";
    case ExitCode::FeedRefused: return "feed refused";
    case ExitCode::DownloadFailed: return "download failed";
    case ExitCode::HostNotFound: return "host not found";
    case ExitCode::ConnectionFailed: return "connection failed";
    case ExitCode::TlsFailed: return "TLS failed";
    case ExitCode::HttpError: return "HTTP error";
    case ExitCode::DownloadTooLarge: return "download too large";
    case ExitCode::DownloadCutShort: return "download cut short";
    case ExitCode::DownloadStalled: return "download stalled";
    case ExitCode::TooManyRedirects: return "too many redirects";
    case ExitCode::NotCached: return "not cached";
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

}  // namespace morvik
