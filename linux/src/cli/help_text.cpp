#include "cli/help_text.h"

namespace morvik::cli {

const char* helpText() {
  return R"(Usage: morvik-update [options] IMAGE.dat
       morvik-update --info IMAGE.dat [--feed URL]
       morvik-update --list
       morvik-update --all | --watch [--count N] IMAGE.dat
       morvik-update --latest [--release VERSION] [--feed URL]
       morvik-update --releases [--feed URL]

Updates the firmware of a Morvik gamepad connected by USB in boot mode.
Switch the pad off, hold START+L+R (Zelto, Pravik) or POWER+RETURN (Zelto Pro,
Pravik Pro) for about 3 seconds until two LEDs flash, and connect it by USB cable.

Options:
  -y, --yes               do not ask "Update firmware to vX.YY? [y/N]"
      --trace             print every report sent ("out ...") and received ("in ...")
      --trace=FILE        write the update's trace to FILE, for support: the image,
                          the pad, each report with its time, and the outcome
      --wait SECONDS      wait up to SECONDS for a pad in boot mode to be plugged in
      --info IMAGE.dat    show the image's header and whether it is fit to send;
                          with a feed (--feed, or the build's), whether it is a
                          signed release of it
      --list              list the pads present, in boot mode and in run mode, with
                          each boot-mode pad's firmware version
      --pad PATH|SERIAL   update the pad with this path (/dev/hidraw3) or USB serial
                          (needed when several pads are in boot mode)
      --all               update every pad in boot mode at once (one question)
      --watch             keep running: update each pad in boot mode as it is
                          plugged in, until Ctrl-C
      --count N           with --watch: end once N pads are updated (N counts pads
                          updated; no pad is started beyond what N can still use)
      --force             with --all, --watch or --latest: update a pad that already
                          runs the image's version too (otherwise it is skipped)
      --latest            update to the newest release of the maker's signed feed
                          (its signature, expiry, serial and the image's digest are
                          checked before anything is sent)
      --release VERSION   update to that release of the feed (1.23)
      --releases          list the feed's releases with dates, urgency and notes
      --feed URL          the feed: https://, file://, or http:// to this machine
                          (default: the build's, if it has one)
      --cacert FILE       trust the CAs in FILE (PEM) for the feed's server
      --feed-key FILE     trust the public keys in FILE (PEM) beside the built-in ones
      --offline           use only the feed and images cached by an earlier run
      --json              print one JSON object per line (events, --list, --info)
      --log FILE          append one JSON line per pad's outcome to FILE
      --simulate          update a simulated pad instead of a real one
      --sim-version N     simulated pad's version x 100 (110 is 1.10), or 'factory'
      --sim-not-boot      simulated pad reports that it is not in boot mode
      --sim-fail-after N  simulated pad reports a failure after the N-th data frame
      --sim-silent-after N
                          simulated pad stops answering after the N-th data frame
                          (0: it never answers)
      --sim-vanish-after N
                          simulated pad goes away after the N-th data frame
      --sim-stray-info-after N
                          simulated pad also sends device information after the
                          N-th data frame (0: after the header), as when another
                          program begins an update on it
      --sim-stray-info-flag F
                          the boot flag of that device information (default 1)
      --sim-latency-us N  simulated pad answers each report N microseconds late
      --sim-usb-frame-us N
                          simulated pad keeps USB's clock: it takes reports and
                          answers only at frame boundaries N microseconds apart
                          (1000 at full speed, 125 at high speed)
      --sim-header-delay-ms N
                          simulated pad acknowledges the image header N milliseconds
                          late (as while it erases its flash)
      --sim-pads N        N simulated pads (sim:1, serial SIM-0001, ...)
      --sim-faulty-pad K  only simulated pad K takes --sim-version, --sim-not-boot
                          and the --sim-*-after faults; the others behave
      --sim-arrive-every-ms N
                          simulated pads are plugged in one after another, N ms apart
      --sim-replay TRACE  simulated pad answers as the pad of a --trace=FILE did, at
                          its pace (--sim-latency-us: N us late); stops at the first
                          report that differs from the recording
  -h, --help              show this help (it wins over every other option)
      --version           show the program's version (it wins over all but --help)

Exit status:
  0  the update succeeded (--info: the image is fit to send; --list: a pad was found)
  1  other error (the USB library could not start, the output could not be
     written, ...)
  2  usage error
  3  no pad found
  4  the pad is not in boot mode
  5  the image cannot be read or is refused
  6  cancelled (the question was not answered yes; Ctrl-C, SIGTERM or SIGHUP)
  7  the pad reported that the update failed
  8  the pad stopped answering or went away
  9  the pad cannot be opened (permissions: see the udev rule in README)
 10  several pads are in boot mode: pick one with --pad, or use --all
 11  --all, --watch: a pad was not updated (it failed, went away, was in use, ...)
 12  another morvik-update is updating the pad
 13  no feed: this build knows none and --feed gave none
 14  the feed, the release or its image was refused (signature, expiry, serial,
     digest, ...); nothing was sent
 15  a download failed (another reason than 16 to 23)
 16  the feed's host name cannot be resolved
 17  the connection was refused, or none came within 15 s
 18  the TLS connection or the server's certificate failed
 19  the server answered with a status other than 200 (404, 500, ...)
 20  a file of the feed is larger than it may be
 21  the connection closed before the whole file came
 22  the download stalled (nothing came for 20 s)
 23  a redirect loop, or more than 5 redirects
 24  --offline, and the cache holds no verified copy
 25  --sim-replay: the program sent a report the recording does not have
)";
}

}  // namespace morvik::cli
