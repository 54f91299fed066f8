// The feed's cryptography through OpenSSL's libcrypto, for the Linux programs.
#pragma once

#include "morvik/feed/feed_crypto.h"

namespace morvik::feed {

class OpenSslFeedCrypto final : public FeedCrypto {
 public:
  std::optional<Sha256Digest> sha256(std::span<const std::uint8_t> bytes) override;
  bool verifyP256Sha256(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> message,
                        std::span<const std::uint8_t, kRawSignatureBytes> signature) override;
};

}  // namespace morvik::feed
