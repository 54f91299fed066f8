// libcrypto's objects held by unique_ptr, each freed by its own function.
#pragma once

#include <openssl/ec.h>
#include <openssl/evp.h>

#include <memory>

namespace morvik::feed {

template <auto free>
struct FreedBy {
  template <typename T>
  void operator()(T* p) const {
    free(p);
  }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, FreedBy<EVP_PKEY_free>>;
using SignaturePtr = std::unique_ptr<ECDSA_SIG, FreedBy<ECDSA_SIG_free>>;
using DigestContextPtr = std::unique_ptr<EVP_MD_CTX, FreedBy<EVP_MD_CTX_free>>;
using BioPtr = std::unique_ptr<BIO, FreedBy<BIO_free>>;

}  // namespace morvik::feed
