// Names that come from the user or the file system (image paths, arguments) shown safely: a
// name holding an escape sequence must not recolour or rewrite the user's terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace morvik::cli {

// `text` with every control character (C0, DEL, C1) and every byte that starts no valid UTF-8
// character written as \xHH; printable ASCII and UTF-8 characters stay as they are.
std::string printable(std::string_view text);

}  // namespace morvik::cli
