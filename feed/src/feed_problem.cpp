#include "morvik/feed/feed_problem.h"

namespace morvik::feed {

std::string_view feedProblemName(FeedProblem problem) {
  switch (problem) {
    case FeedProblem::FeedTooLarge: return "the feed is larger than 1 MiB";
    case FeedProblem::SignatureUnreadable: return "the feed's signature file cannot be read";
    case FeedProblem::UnsupportedAlgorithm: return "the feed is signed with an algorithm other than ecdsa-p256-sha256";
    case FeedProblem::NoTrustedKeys: return "no feed key is trusted (this build has none built in)";
    case FeedProblem::UnknownKey: return "the feed is signed by a key that is not trusted";
    case FeedProblem::BadSignature: return "the feed's signature does not verify with its key";
    case FeedProblem::CryptoFailed: return "the system's cryptography failed";
    case FeedProblem::NotJson: return "the feed is not a JSON object";
    case FeedProblem::UnsupportedSchema: return "the feed's schema is not one this program reads";
    case FeedProblem::FieldMissing: return "the feed lacks a field";
    case FeedProblem::FieldWrongType: return "a field of the feed has the wrong type";
    case FeedProblem::BadTime: return "a time or date of the feed is not in RFC 3339 form";
    case FeedProblem::BadValue: return "a field of the feed has a value out of range";
    case FeedProblem::BadDigest: return "a release's SHA-256 is not 64 hex digits";
    case FeedProblem::Expired: return "the feed has expired";
    case FeedProblem::SerialRolledBack: return "the feed is older than one already seen (lower serial)";
    case FeedProblem::UnsafeFileName: return "a release's file is not a plain file name";
    case FeedProblem::DuplicateVersion: return "the feed lists a version twice";
    case FeedProblem::SizeTooLarge: return "a release is larger than an image may be";
    case FeedProblem::NoSuchRelease: return "the feed has no such release";
    case FeedProblem::ImageSizeMismatch: return "the image's size is not the one the feed gives";
    case FeedProblem::ImageDigestMismatch: return "the image's SHA-256 is not the one the feed gives";
    case FeedProblem::ImageRefused: return "the image is not fit for an update";
    case FeedProblem::ImageVersionMismatch: return "the image's version is not the one the feed gives";
  }
  return "the feed is refused";
}

std::string describeRefusal(const FeedRefusal& refusal) {
  std::string text(feedProblemName(refusal.problem));
  if (!refusal.subject.empty()) text += " (" + refusal.subject + ")";
  return text;
}

}  // namespace morvik::feed
