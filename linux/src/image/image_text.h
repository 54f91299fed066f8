// What morvik-update says about an image: why it is refused, what --info shows, and the words
// before an update that stop it or note something about the image.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "morvik/exit_codes.h"
#include "image/image_read.h"
#include "morvik/stop_signal.h"

namespace morvik::cli {

// One sentence saying what is wrong, for cannotUseImageText.
std::string faultText(const ImageReport& report);
// "Cannot use the image PATH: WHY.", with its newline.
std::string cannotUseImageText(const std::string& path, std::string_view why);

// What --info prints, as text or as one JSON line.
std::string imageInfoText(const std::string& path, const ImageReport& report);
std::string imageInfoJson(const std::string& path, const ImageReport& report);

// --info: describes the image at `path` on `out` (or says on `err` that reading it was cancelled).
ExitCode showImageInfo(const std::string& path, bool json, StopToken stop, std::ostream& out, std::ostream& err);

// Refuses an image that cannot be sent (before any pad is looked for), on `err`, with the exit
// status that says why; says nothing when it is fine but for a note on `out` about payload
// bytes beyond its stated length.
std::optional<ExitCode> refuseUnfitImage(const std::string& path, const ImageReport& report, std::ostream& out,
                                         std::ostream& err);

}  // namespace morvik::cli
