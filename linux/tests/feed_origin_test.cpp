// Which addresses a feed may come from, and where the files beside feed.json are then fetched.
#include <gtest/gtest.h>

#include "feed/feed_origin.h"

namespace morvik::cli {
namespace {

TEST(FeedOrigin, TakesHttpsFilesAndThisMachineOnly) {
  const struct {
    const char* url;
    const char* imageUrl;  // of "pad.dat"; null: refused
    const char* refusal;
  } cases[] = {
      {"https://downloads.example.com/pad/", "https://downloads.example.com/pad/pad.dat", ""},
      {"https://downloads.example.com/pad", "https://downloads.example.com/pad/pad.dat", ""},
      {"https://downloads.example.com:8443/pad/feed.json", "https://downloads.example.com:8443/pad/pad.dat", ""},
      {"file:///srv/my%20feed/feed.json", "file:///srv/my%20feed/pad.dat", ""},
      {"http://127.0.0.1:8080/", "http://127.0.0.1:8080/pad.dat", ""},
      {"http://localhost/feed/", "http://localhost/feed/pad.dat", ""},
      {"http://[::1]/", "http://[::1]/pad.dat", ""},
      {"http://downloads.example.com/pad/", nullptr, "plain http to another machine"},
      {"http://127.0.0.1.example.com/", nullptr, "plain http to another machine"},
      {"ftp://downloads.example.com/pad/", nullptr, "neither https:// nor file://"},
      {"https://downloads.example.com/pad/?serial=1", nullptr, "a query or a fragment"},
      {"https://downloads.example.com/pad/#top", nullptr, "a query or a fragment"},
      {"file://fileserver/srv/feed/", nullptr, "is not a URL"},
      {"not a url", nullptr, "is not a URL"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.url);
    const auto origin = FeedOrigin::fromUrl(row.url);
    if (!row.imageUrl) {
      ASSERT_TRUE(std::holds_alternative<std::string>(origin));
      EXPECT_NE(std::get<std::string>(origin).find(row.refusal), std::string::npos) << std::get<std::string>(origin);
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<FeedOrigin>(origin)) << std::get<std::string>(origin);
    EXPECT_EQ(std::get<FeedOrigin>(origin).urlOf("pad.dat"), row.imageUrl);
  }
}

}  // namespace
}  // namespace morvik::cli
