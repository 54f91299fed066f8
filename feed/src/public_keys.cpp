#include "morvik/feed/public_keys.h"

#include <algorithm>
#include <array>

#include "morvik/feed/feed_text.h"

namespace morvik::feed {
namespace {

constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";

// SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING { 0x04, x, y } }: every P-256
// key in this form starts with these 27 bytes and has 64 bytes of point after them.
constexpr std::array<std::uint8_t, 27> kP256KeyPrefix = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                                         0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                                         0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};
constexpr std::size_t kP256KeyBytes = kP256KeyPrefix.size() + 64;

bool isP256Key(const PublicKeyDer& der) {
  return der.size() == kP256KeyBytes && std::equal(kP256KeyPrefix.begin(), kP256KeyPrefix.end(), der.begin());
}

std::string withoutWhitespace(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    if (c != '\n' && c != '\r' && c != ' ' && c != '\t') kept += c;
  }
  return kept;
}

}  // namespace

std::optional<std::vector<PublicKeyDer>> parsePublicKeysPem(std::string_view pem) {
  std::vector<PublicKeyDer> keys;
  for (auto begin = pem.find(kBegin); begin != std::string_view::npos; begin = pem.find(kBegin)) {
    pem.remove_prefix(begin + kBegin.size());
    const auto end = pem.find(kEnd);
    if (end == std::string_view::npos) return std::nullopt;
    auto der = decodeBase64(withoutWhitespace(pem.substr(0, end)));
    if (!der || !isP256Key(*der)) return std::nullopt;
    keys.push_back(std::move(*der));
    pem.remove_prefix(end + kEnd.size());
  }
  return keys;
}

std::optional<std::string> keyIdOf(const PublicKeyDer& der, FeedCrypto& crypto) {
  const auto digest = crypto.sha256(der);
  if (!digest) return std::nullopt;
  return digestHex(*digest).substr(0, 16);
}

std::optional<std::vector<TrustedKey>> trustedKeysFromPem(std::string_view pem, FeedCrypto& crypto) {
  const auto keys = parsePublicKeysPem(pem);
  if (!keys) return std::nullopt;
  std::vector<TrustedKey> trusted;
  for (const PublicKeyDer& der : *keys) {
    auto id = keyIdOf(der, crypto);
    if (!id) return std::nullopt;
    trusted.push_back({std::move(*id), der});
  }
  return trusted;
}

std::string publicKeyPem(const PublicKeyDer& der) {
  const std::string body = encodeBase64(der);
  std::string pem = std::string(kBegin) + '\n';
  for (std::size_t at = 0; at < body.size(); at += 64) pem += body.substr(at, 64) + '\n';
  return pem + std::string(kEnd) + '\n';
}

}  // namespace morvik::feed
