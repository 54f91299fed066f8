// A maker's private feed key (ECDSA P-256) through OpenSSL: made, saved, loaded, and signing
// feed.json. Only the maker's tool and the tests hold one; no front-end does.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "morvik/feed/feed_crypto.h"
#include "morvik/feed/public_keys.h"

struct evp_pkey_st;  // libcrypto's EVP_PKEY, kept out of this header

namespace morvik::feed {

class SigningKey {
 public:
  // A new random key; nothing when libcrypto fails.
  static std::optional<SigningKey> generate();
  // The key in a PEM private-key text (PKCS #8 or SEC 1); nothing when it is not a P-256 key.
  static std::optional<SigningKey> fromPem(const std::string& pem);

  // PKCS #8 PEM of the private key, unencrypted: the caller keeps the file to its owner.
  std::optional<std::string> privateKeyPem() const;
  std::optional<PublicKeyDer> publicKeyDer() const;
  // The 64-byte r||s signature of the SHA-256 of `message`; nothing when libcrypto fails.
  std::optional<std::array<std::uint8_t, kRawSignatureBytes>> sign(std::span<const std::uint8_t> message) const;

 private:
  struct Free {
    void operator()(evp_pkey_st* key) const;
  };
  explicit SigningKey(evp_pkey_st* key) : key_(key) {}
  std::unique_ptr<evp_pkey_st, Free> key_;
};

}  // namespace morvik::feed
