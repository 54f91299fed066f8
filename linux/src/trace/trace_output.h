// Where --trace=FILE goes: opened before any pad is looked for, so that a trace that cannot be
// written stops the run before anything is sent, and never over a file the run reads.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace morvik::cli {

// Opens `path` for the trace, emptied. Nothing when it is open; else why not. `readFiles` are
// the files the run reads (the image, a trace to replay): the trace must not replace one. A pipe
// is taken only when some program reads it.
std::optional<std::string> openTraceFile(std::ofstream& file, const std::string& path,
                                         const std::vector<std::string>& readFiles);

}  // namespace morvik::cli
