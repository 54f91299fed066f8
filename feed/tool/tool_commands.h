// The commands of morvik-feed; each prints what it did or why it refused, and returns the
// program's exit status (0 done, 1 refused or failed).
#pragma once

#include "tool_options.h"

namespace morvik::feed {

int keygenCommand(const ToolOptions& options);
int addCommand(const ToolOptions& options);
int signCommand(const ToolOptions& options);
int verifyCommand(const ToolOptions& options);

// Says "morvik-feed: WHY." on standard error and gives the failure status.
int refuse(const std::string& why);

}  // namespace morvik::feed
