#include "feed/release_listing.h"

#include <algorithm>

#include "morvik/json_line.h"
#include "console/printable_text.h"
#include "morvik/version_text.h"
#include "morvik/feed/feed_text.h"

namespace morvik::cli {

ExitCode listReleases(const FetchedFeed& fetched, bool json, std::ostream& out) {
  const auto& [feedRead, keyId] = fetched.verified;
  std::vector<feed::Release> releases = feedRead.releases;
  std::sort(releases.begin(), releases.end(), [](const auto& a, const auto& b) { return a.version > b.version; });
  if (!json) {
    out << "Feed " << printable(fetched.url) << ": " << printable(feedRead.product) << ", serial " << feedRead.serial
        << ", signed by key " << keyId << ", expires " << feed::formatUtcTime(feedRead.expires) << "\n";
    if (releases.empty()) out << "  (no releases)\n";
  }
  for (const feed::Release& release : releases) {
    const bool newest = &release == &releases.front();
    if (json) {
      out << JsonLine("release")
                 .add("version", versionText(release.version))
                 .add("date", release.date)
                 .add("urgency", std::string(feed::urgencyName(release.urgency)))
                 .add("size", release.size)
                 .add("sha256", feed::digestHex(release.sha256))
                 .add("newest", newest)
                 .add("notes_en", release.notesEn)
                 .add("notes_zh", release.notesZh)
                 .add("feed_serial", feedRead.serial)
                 .add("key_id", keyId)
                 .line();
      continue;
    }
    out << "  " << versionText(release.version) << "  " << release.date << "  " << feed::urgencyName(release.urgency)
        << (newest ? "  (newest)" : "") << "\n      " << printable(release.notesEn) << "\n      "
        << printable(release.notesZh) << "\n";
  }
  return ExitCode::Success;
}

}  // namespace morvik::cli
