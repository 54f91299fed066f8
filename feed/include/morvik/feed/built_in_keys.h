// The feed keys this build trusts: the PEM file given to CMake as MORVIK_FEED_KEYS, embedded
// when the build was made. Empty in a build made without it, which then trusts no feed.
#pragma once

#include <string_view>

namespace morvik::feed {

std::string_view builtInFeedKeysPem();

}  // namespace morvik::feed
