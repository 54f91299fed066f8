// What morvik-update says about an image: why it is refused, what --info shows, and the words
// before an update that stop it or note something about the image.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "morvik/exit_codes.h"
#include "morvik/json_line.h"
#include "image/image_read.h"
#include "morvik/stop_signal.h"

namespace morvik::cli {

// One sentence saying what is wrong, for cannotUseImageText.
std::string faultText(const ImageReport& report);
// "Cannot use the image PATH: WHY.", with its newline.
std::string cannotUseImageText(const std::string& path, std::string_view why);

// What --info prints, as text or as one JSON line (its fields, to which more may be added).
std::string imageInfoText(const std::string& path, const ImageReport& report);
JsonLine imageInfoFields(const std::string& path, const ImageReport& report);

// What --info says of a fit image beyond its file (whether a feed holds it): lines after its
// text, fields in its JSON line, and the exit status.
struct InfoAddition {
  std::string text;
  std::function<void(JsonLine&)> addFields;
  ExitCode code = ExitCode::Success;
};
using InfoLookup = std::function<InfoAddition(const CheckedImage& image)>;

// --info: describes the image at `path` on `out` (or says on `err` that reading it was
// cancelled), with what `lookup`, when given, adds for an image that can be sent.
ExitCode showImageInfo(const std::string& path, bool json, StopToken stop, std::ostream& out, std::ostream& err,
                       const InfoLookup& lookup = nullptr);

// Refuses an image that cannot be sent (before any pad is looked for), on `err`, with the exit
// status that says why; says nothing when it is fine but for a note on `out` about payload
// bytes beyond its stated length.
std::optional<ExitCode> refuseUnfitImage(const std::string& path, const ImageReport& report, std::ostream& out,
                                         std::ostream& err);

}  // namespace morvik::cli
