// The time now in UTC, as the outcome log and the trace write it: "2026-12-09T21:04:05Z".
#pragma once

#include <string>

namespace morvik::cli {

std::string utcNow();

}  // namespace morvik::cli
