// The feed's crypto in the browser. WebCrypto answers only asynchronously and the feed's rules
// ask synchronously, so a check runs against the answers WebCrypto gave so far: each question
// it had no answer for is kept, the page's script has WebCrypto answer them, and the check runs
// again. Only a run that asked nothing new counts; an unanswered question fails safe (no digest,
// no valid signature), so a run that still had questions never lets anything through.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "morvik/feed/feed_crypto.h"

namespace morvik::web {

struct CryptoQuestion {
  bool verify = false;              // a signature to verify, else bytes to hash
  std::vector<std::uint8_t> bytes;  // hashed, or the signed message
  std::vector<std::uint8_t> key;    // the DER SubjectPublicKeyInfo, when verifying
  std::array<std::uint8_t, feed::kRawSignatureBytes> signature{};
};

class AnsweredCrypto final : public feed::FeedCrypto {
 public:
  std::optional<feed::Sha256Digest> sha256(std::span<const std::uint8_t> bytes) override;
  bool verifyP256Sha256(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> message,
                        std::span<const std::uint8_t, feed::kRawSignatureBytes> signature) override;

  // Before a run: forgets the last run's questions, and the answers the last run neither used
  // nor got since (an earlier check's: an image's bytes are not held longer than they serve).
  void startRun();
  // What the last run asked and had no answer for.
  const std::vector<CryptoQuestion>& questions() const { return questions_; }
  // WebCrypto's answer to the question `index` of the last run: the digest (nothing when
  // hashing failed), or whether the signature verified.
  void answerDigest(std::size_t index, std::optional<feed::Sha256Digest> digest);
  void answerVerification(std::size_t index, bool verified);

 private:
  struct Answer {
    CryptoQuestion question;
    std::optional<feed::Sha256Digest> digest;
    bool verified = false;
    bool fresh = true;  // used in the last run, or given since
  };

  const Answer* answerTo(const CryptoQuestion& question);
  void answer(std::size_t index, Answer answer);

  std::vector<CryptoQuestion> questions_;
  std::vector<Answer> answers_;
};

}  // namespace morvik::web
