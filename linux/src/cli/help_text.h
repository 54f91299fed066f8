#pragma once

namespace morvik::cli {

// What --help prints: the usage, every option and every exit status.
const char* helpText();

}  // namespace morvik::cli
