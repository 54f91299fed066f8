#include "feed_values.h"

#include <charconv>
#include <string>

namespace morvik::web {
namespace {

using emscripten::val;
using feed::FeedProblem;

std::string problemKey(FeedProblem problem) {
  switch (problem) {
    case FeedProblem::FeedTooLarge: return "FeedTooLarge";
    case FeedProblem::SignatureUnreadable: return "SignatureUnreadable";
    case FeedProblem::UnsupportedAlgorithm: return "UnsupportedAlgorithm";
    case FeedProblem::NoTrustedKeys: return "NoTrustedKeys";
    case FeedProblem::UnknownKey: return "UnknownKey";
    case FeedProblem::BadSignature: return "BadSignature";
    case FeedProblem::CryptoFailed: return "CryptoFailed";
    case FeedProblem::NotJson: return "NotJson";
    case FeedProblem::UnsupportedSchema: return "UnsupportedSchema";
    case FeedProblem::FieldMissing: return "FieldMissing";
    case FeedProblem::FieldWrongType: return "FieldWrongType";
    case FeedProblem::BadTime: return "BadTime";
    case FeedProblem::BadValue: return "BadValue";
    case FeedProblem::BadDigest: return "BadDigest";
    case FeedProblem::Expired: return "Expired";
    case FeedProblem::SerialRolledBack: return "SerialRolledBack";
    case FeedProblem::UnsafeFileName: return "UnsafeFileName";
    case FeedProblem::DuplicateVersion: return "DuplicateVersion";
    case FeedProblem::SizeTooLarge: return "SizeTooLarge";
    case FeedProblem::NoSuchRelease: return "NoSuchRelease";
    case FeedProblem::ImageSizeMismatch: return "ImageSizeMismatch";
    case FeedProblem::ImageDigestMismatch: return "ImageDigestMismatch";
    case FeedProblem::ImageRefused: return "ImageRefused";
    case FeedProblem::ImageVersionMismatch: return "ImageVersionMismatch";
  }
  return "CryptoFailed";
}

template <typename Bytes>
val view(const Bytes& bytes) {
  return val(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

}  // namespace

val releaseValue(const feed::Release& release) {
  val value = val::object();
  value.set("version", release.version);
  value.set("versionText", release.versionText);
  value.set("file", release.file);
  value.set("size", static_cast<double>(release.size));  // at most 16 MiB + 28: exact as a number
  value.set("date", release.date);
  value.set("urgency", std::string(feed::urgencyName(release.urgency)));
  val notes = val::object();
  notes.set("en", release.notesEn);
  notes.set("zh", release.notesZh);
  value.set("notes", notes);
  return value;
}

val refusalValue(const feed::FeedRefusal& refusal) {
  val value = val::object();
  value.set("refused", true);
  value.set("problem", problemKey(refusal.problem));
  value.set("words", feed::describeRefusal(refusal));
  value.set("subject", refusal.subject);
  return value;
}

val pendingValue(const std::vector<CryptoQuestion>& questions) {
  val list = val::array();
  for (const CryptoQuestion& question : questions) {
    val asked = val::object();
    asked.set("verify", question.verify);
    asked.set("bytes", view(question.bytes));
    asked.set("key", view(question.key));
    asked.set("signature", view(question.signature));
    list.call<void>("push", asked);
  }
  val value = val::object();
  value.set("pending", true);
  value.set("questions", list);
  return value;
}

SeenSerials seenSerialsOf(const val& kept) {
  SeenSerials seen;
  if (!kept.isUndefined() && !kept.isNull() && kept.typeOf().as<std::string>() == "object") {
    const val ids = val::global("Object").call<val>("keys", kept);
    for (unsigned i = 0; i < ids["length"].as<unsigned>(); ++i) {
      const std::string id = ids[i].as<std::string>();
      const val serial = kept[id];
      if (serial.typeOf().as<std::string>() != "string") continue;
      const std::string text = serial.as<std::string>();
      std::uint64_t value = 0;
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (error == std::errc() && end == text.data() + text.size() && !text.empty()) seen[id] = value;
    }
  }
  return seen;
}

}  // namespace morvik::web
