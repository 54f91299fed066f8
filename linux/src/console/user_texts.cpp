#include "console/user_texts.h"

#include <cstdio>

namespace morvik::cli {

std::string usbIdText(const UsbIdentity& identity) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", identity.vendorId, identity.productId);
  return ids;
}

std::string noBootPadText() { return "No pad in boot mode found (USB " + usbIdText(kBootModeIdentity) + ").\n"; }

}  // namespace morvik::cli
