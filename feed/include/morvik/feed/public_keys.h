// The public keys a feed may be signed with: PEM SubjectPublicKeyInfo of ECDSA P-256 keys, and
// the key id that names each in feed.json.sig.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvik/feed/feed_crypto.h"

namespace morvik::feed {

// The DER SubjectPublicKeyInfo of an uncompressed P-256 key.
using PublicKeyDer = std::vector<std::uint8_t>;

struct TrustedKey {
  std::string id;  // keyIdOf(der)
  PublicKeyDer der;
};

// Every "PUBLIC KEY" block of `pem`, in order; nothing when a block is broken or holds any key
// but an uncompressed P-256 one. Text outside the blocks (comments) is skipped; text with no
// block at all gives an empty list.
std::optional<std::vector<PublicKeyDer>> parsePublicKeysPem(std::string_view pem);

// The key's id: the first 16 hex digits of the SHA-256 of its DER SubjectPublicKeyInfo
// ("3f2a…"); nothing when the platform's hash failed.
std::optional<std::string> keyIdOf(const PublicKeyDer& der, FeedCrypto& crypto);

// The keys of `pem` with their ids; nothing when the text or a hash fails.
std::optional<std::vector<TrustedKey>> trustedKeysFromPem(std::string_view pem, FeedCrypto& crypto);

// The PEM text of a key, as parsePublicKeysPem reads it.
std::string publicKeyPem(const PublicKeyDer& der);

}  // namespace morvik::feed
