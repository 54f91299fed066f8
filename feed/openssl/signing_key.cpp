#include "morvik/feed/signing_key.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <vector>

#include "openssl_handles.h"

namespace morvik::feed {
namespace {

bool isP256(EVP_PKEY* key) {
  char group[32] = {};
  std::size_t length = 0;
  return EVP_PKEY_is_a(key, "EC") &&
         EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
         std::strcmp(group, "prime256v1") == 0;
}

std::string bioText(BIO* bio) {
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

void SigningKey::Free::operator()(evp_pkey_st* key) const { EVP_PKEY_free(key); }

std::optional<SigningKey> SigningKey::generate() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) return std::nullopt;
  return SigningKey(key);
}

std::optional<SigningKey> SigningKey::fromPem(const std::string& pem) {
  const BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return std::nullopt;
  KeyPtr key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key || !isP256(key.get())) return std::nullopt;
  return SigningKey(key.release());
}

std::optional<std::string> SigningKey::privateKeyPem() const {
  const BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key_.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    return std::nullopt;
  }
  return bioText(bio.get());
}

std::optional<PublicKeyDer> SigningKey::publicKeyDer() const {
  const int length = i2d_PUBKEY(key_.get(), nullptr);
  if (length <= 0) return std::nullopt;
  PublicKeyDer der(static_cast<std::size_t>(length));
  unsigned char* out = der.data();
  if (i2d_PUBKEY(key_.get(), &out) != length) return std::nullopt;
  return der;
}

std::optional<std::array<std::uint8_t, kRawSignatureBytes>> SigningKey::sign(
    std::span<const std::uint8_t> message) const {
  const DigestContextPtr context(EVP_MD_CTX_new());
  std::size_t length = 0;
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, message.data(), message.size()) != 1) {
    return std::nullopt;
  }
  std::vector<unsigned char> der(length);
  if (EVP_DigestSign(context.get(), der.data(), &length, message.data(), message.size()) != 1) return std::nullopt;
  const unsigned char* in = der.data();
  const SignaturePtr signature(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)));
  if (!signature) return std::nullopt;
  std::array<std::uint8_t, kRawSignatureBytes> raw{};
  if (BN_bn2binpad(ECDSA_SIG_get0_r(signature.get()), raw.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(signature.get()), raw.data() + 32, 32) != 32) {
    return std::nullopt;
  }
  return raw;
}

}  // namespace morvik::feed
