#include "morvik/version_text.h"

#include "morvik/protocol.h"

namespace morvik {

std::string versionText(std::uint32_t versionTimes100) {
  const std::uint32_t hundredths = versionTimes100 % 100;
  return std::to_string(versionTimes100 / 100) + (hundredths < 10 ? ".0" : ".") + std::to_string(hundredths);
}

std::string padVersionText(std::uint32_t versionTimes100) {
  return versionTimes100 == kFactoryVersion ? "factory firmware" : versionText(versionTimes100);
}

}  // namespace morvik
