#include <unistd.h>

#include <iostream>

#include "console/printable_text.h"
#include "feed/feed_files.h"
#include "morvik/feed/openssl_feed_crypto.h"
#include "morvik/feed/signing_key.h"
#include "tool_commands.h"

namespace morvik::feed {
namespace {

// KEY.pem -> KEY.pub.pem; any other name gets .pub.pem added.
std::string publicKeyPathFor(const std::string& keyPath) {
  const std::string stem = keyPath.ends_with(".pem") ? keyPath.substr(0, keyPath.size() - 4) : keyPath;
  return stem + ".pub.pem";
}

}  // namespace

int keygenCommand(const ToolOptions& options) {
  const std::string& keyPath = options.target;
  const std::string publicPath = publicKeyPathFor(keyPath);
  OpenSslFeedCrypto crypto;
  const auto key = SigningKey::generate();
  const auto privatePem = key ? key->privateKeyPem() : std::nullopt;
  const auto publicDer = key ? key->publicKeyDer() : std::nullopt;
  const auto id = publicDer ? keyIdOf(*publicDer, crypto) : std::nullopt;
  if (!privatePem || !id) return refuse("libcrypto could not make a P-256 key");
  // Never over an existing key: a lost private key cannot sign again.
  if (auto error = cli::writeNewFile(keyPath, cli::bytesOf(*privatePem), 0600)) return refuse(error->sentence);
  if (auto error = cli::writeNewFile(publicPath, cli::bytesOf(publicKeyPem(*publicDer)), 0644)) {
    ::unlink(keyPath.c_str());
    return refuse(error->sentence + " (so " + keyPath + " was not kept either)");
  }
  std::cout << "Key id: " << *id << "\n"
            << "Private key: " << cli::printable(keyPath) << " (mode 0600; keep it off the web server)\n"
            << "Public key:  " << cli::printable(publicPath) << " (built into the updaters with MORVIK_FEED_KEYS)\n";
  return 0;
}

}  // namespace morvik::feed
