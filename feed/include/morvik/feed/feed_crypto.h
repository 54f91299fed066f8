// The cryptography the feed needs, which each front-end fills with its platform's own:
// OpenSSL's libcrypto on Linux, CNG on Windows, the Security framework on macOS, WebCrypto in
// the browser. The feed's code makes no platform call of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "morvik/feed/feed.h"

namespace morvik::feed {

inline constexpr std::size_t kRawSignatureBytes = 64;

class FeedCrypto {
 public:
  virtual ~FeedCrypto() = default;
  // The SHA-256 of `bytes`; nothing when the platform's crypto failed.
  virtual std::optional<Sha256Digest> sha256(std::span<const std::uint8_t> bytes) = 0;
  // Whether `signature` (r then s, 32 bytes each, big-endian) is an ECDSA P-256 signature of
  // the SHA-256 of `message` by the key whose DER SubjectPublicKeyInfo is `publicKey`.
  // A key or signature the platform cannot read does not verify.
  virtual bool verifyP256Sha256(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> message,
                                std::span<const std::uint8_t, kRawSignatureBytes> signature) = 0;
};

}  // namespace morvik::feed
