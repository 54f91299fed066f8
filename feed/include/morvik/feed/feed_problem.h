// Why a feed, a release or a release's image is refused. Every front-end shows these words; a
// refusal always carries one of them, so nothing unverified passes without a reason.
#pragma once

#include <string>
#include <string_view>

namespace morvik::feed {

enum class FeedProblem {
  FeedTooLarge,          // feed.json holds more than kMaxFeedBytes
  SignatureUnreadable,   // feed.json.sig is not the signature object, or its signature not 64 bytes
  UnsupportedAlgorithm,  // the signature's algorithm is not ecdsa-p256-sha256
  NoTrustedKeys,         // this build (and the command line) trusts no key at all
  UnknownKey,            // the signature names a key that is not trusted
  BadSignature,          // the signature does not verify with the key it names
  CryptoFailed,          // the platform's crypto could not hash or verify
  NotJson,               // feed.json is not a JSON object
  UnsupportedSchema,     // a schema number this program does not read
  FieldMissing,          // a field the format requires is absent
  FieldWrongType,        // a field is present but of another JSON type
  BadTime,               // a time that is not RFC 3339 UTC, or a date that is not YYYY-MM-DD
  BadValue,              // a field of the right type with a value outside its range
  BadDigest,             // a sha256 that is not 64 hex digits
  Expired,               // the feed is past its `expires` time
  SerialRolledBack,      // a lower serial than one already seen under the same key
  UnsafeFileName,        // a release's file is not a plain name
  DuplicateVersion,      // two releases of the same version
  SizeTooLarge,          // a release's size is beyond what an image may hold
  NoSuchRelease,         // the feed has no release of the version asked for (or none at all)
  ImageSizeMismatch,     // the image does not have the size its release gives
  ImageDigestMismatch,   // the image's SHA-256 is not its release's
  ImageRefused,          // the engine's own image check refuses the image
  ImageVersionMismatch,  // the image's header gives another version than its release
};

// A short English name of the problem, for messages and logs ("the feed has expired").
std::string_view feedProblemName(FeedProblem problem);

// A problem and what it concerns: the field ("releases[1].sha256"), the time the feed expired,
// the version asked for.
struct FeedRefusal {
  FeedProblem problem;
  std::string subject;
};

// "the feed has expired (2026-11-30T00:00:00Z)"; the name alone when there is no subject.
std::string describeRefusal(const FeedRefusal& refusal);

}  // namespace morvik::feed
