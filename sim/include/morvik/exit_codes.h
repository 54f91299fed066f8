// The exit status of morvik-update: one code per way an update can end, so scripts can
// tell them apart. Documented in --help and README; never renumber a code. A trace's outcome
// line records it for every front-end (the page's reports give the status morvik-update would
// have ended with), so that a replay can compare endings.
#pragma once

#include "morvik/update_observer.h"

namespace morvik {

enum class ExitCode : int {
  Success = 0,
  Error = 1,            // anything not listed below (the USB library failed, output unwritable, ...)
  Usage = 2,            // bad command line
  NoPad = 3,            // no pad found
  NotInBootMode = 4,    // the pad is connected but not in boot mode
  ImageRefused = 5,     // the image cannot be read or is not fit for an update
  Cancelled = 6,        // the user declined or pressed Ctrl-C
  PadFailed = 7,        // the pad reported that the update failed
  PadLost = 8,          // the pad stopped answering or went away
  NoAccess = 9,         // the pad is there but cannot be opened (permissions)
  SeveralPads = 10,     // several pads in boot mode and no --pad to pick one: nothing was sent
  SomePadsFailed = 11,  // --all, --watch: a pad was not updated (failed, lost, in use, not in boot mode)
  PadInUse = 12,        // another morvik-update is updating the pad
  // The maker's feed (--latest, --release, --releases): nothing was sent to a pad.
  NoFeed = 13,            // this build knows no feed and none was given
  FeedRefused = 14,       // the feed, its release or its image broke a rule (signature, expiry, serial, digest...)
  DownloadFailed = 15,    // a download failed in a way not listed below
  HostNotFound = 16,      // the server's name cannot be resolved
  ConnectionFailed = 17,  // the connection was refused, or none came within the limit
  TlsFailed = 18,         // the TLS connection or the server's certificate failed
  HttpError = 19,         // the server answered with a status other than 200
  DownloadTooLarge = 20,  // a file larger than it may be
  DownloadCutShort = 21,  // the connection closed before the whole file came
  DownloadStalled = 22,   // nothing came for the stall limit
  TooManyRedirects = 23,  // a redirect loop, or too many redirects
  NotCached = 24,         // --offline: the cache holds no verified copy
  ReplayDiffers = 25,     // --sim-replay: the program sent a report the recording does not have there
};

// A word for each code, for the JSON outcome and the log ("pad lost").
const char* exitMeaning(ExitCode code);

// The exit status of an update that failed for `cause`.
ExitCode exitCodeOf(UpdateFailure cause);

constexpr int toInt(ExitCode code) { return static_cast<int>(code); }

}  // namespace morvik
