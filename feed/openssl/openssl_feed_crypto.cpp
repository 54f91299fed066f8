#include "morvik/feed/openssl_feed_crypto.h"

#include <openssl/bn.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <vector>

#include "openssl_handles.h"

namespace morvik::feed {
namespace {

// OpenSSL verifies DER signatures: SEQUENCE { INTEGER r, INTEGER s }.
std::optional<std::vector<unsigned char>> derSignature(std::span<const std::uint8_t, kRawSignatureBytes> raw) {
  const SignaturePtr signature(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(raw.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(raw.data() + 32, 32, nullptr);
  if (!signature || !r || !s || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return std::nullopt;
  }
  const int length = i2d_ECDSA_SIG(signature.get(), nullptr);
  if (length <= 0) return std::nullopt;
  std::vector<unsigned char> der(static_cast<std::size_t>(length));
  unsigned char* out = der.data();
  if (i2d_ECDSA_SIG(signature.get(), &out) != length) return std::nullopt;
  return der;
}

}  // namespace

std::optional<Sha256Digest> OpenSslFeedCrypto::sha256(std::span<const std::uint8_t> bytes) {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size()) {
    return std::nullopt;
  }
  return digest;
}

bool OpenSslFeedCrypto::verifyP256Sha256(std::span<const std::uint8_t> publicKey, std::span<const std::uint8_t> message,
                                         std::span<const std::uint8_t, kRawSignatureBytes> signature) {
  const unsigned char* keyBytes = publicKey.data();
  const KeyPtr key(d2i_PUBKEY(nullptr, &keyBytes, static_cast<long>(publicKey.size())));
  if (!key || !EVP_PKEY_is_a(key.get(), "EC")) return false;
  const auto der = derSignature(signature);
  const DigestContextPtr context(EVP_MD_CTX_new());
  if (!der || !context) return false;
  return EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
         EVP_DigestVerify(context.get(), der->data(), der->size(), message.data(), message.size()) == 1;
}

}  // namespace morvik::feed
