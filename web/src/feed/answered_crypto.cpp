#include "answered_crypto.h"

#include <algorithm>

namespace morvik::web {
namespace {

bool sameQuestion(const CryptoQuestion& a, const CryptoQuestion& b) {
  return a.verify == b.verify && a.bytes == b.bytes && a.key == b.key && a.signature == b.signature;
}

}  // namespace

void AnsweredCrypto::startRun() {
  questions_.clear();
  std::erase_if(answers_, [](const Answer& answer) { return !answer.fresh; });
  for (Answer& answer : answers_) answer.fresh = false;
}

const AnsweredCrypto::Answer* AnsweredCrypto::answerTo(const CryptoQuestion& question) {
  const auto found = std::find_if(answers_.begin(), answers_.end(),
                                  [&](const Answer& answer) { return sameQuestion(answer.question, question); });
  if (found == answers_.end()) return nullptr;
  found->fresh = true;
  return &*found;
}

std::optional<feed::Sha256Digest> AnsweredCrypto::sha256(std::span<const std::uint8_t> bytes) {
  CryptoQuestion question{false, {bytes.begin(), bytes.end()}, {}, {}};
  if (const Answer* known = answerTo(question)) return known->digest;
  questions_.push_back(std::move(question));
  return std::nullopt;
}

bool AnsweredCrypto::verifyP256Sha256(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> message,
                                      std::span<const std::uint8_t, feed::kRawSignatureBytes> signature) {
  CryptoQuestion question{true, {message.begin(), message.end()}, {publicKey.begin(), publicKey.end()}, {}};
  std::copy(signature.begin(), signature.end(), question.signature.begin());
  if (const Answer* known = answerTo(question)) return known->verified;
  questions_.push_back(std::move(question));
  return false;
}

void AnsweredCrypto::answer(std::size_t index, Answer answer) {
  // An answer of the other kind answers nothing: the question stays open and fails safe.
  if (index >= questions_.size() || questions_[index].verify != answer.question.verify) return;
  answer.question = questions_[index];
  answers_.push_back(std::move(answer));
}

void AnsweredCrypto::answerDigest(std::size_t index, std::optional<feed::Sha256Digest> digest) {
  answer(index, {{false, {}, {}, {}}, digest, false, true});
}

void AnsweredCrypto::answerVerification(std::size_t index, bool verified) {
  answer(index, {{true, {}, {}, {}}, std::nullopt, verified, true});
}

}  // namespace morvik::web
