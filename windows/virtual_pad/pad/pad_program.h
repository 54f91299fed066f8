// Names the pad program shares with the tools that steer it.
#pragma once

namespace morvik::vpad {

// Signalled by "vpadctl stop": the pad program saves what it received and ends.
inline constexpr wchar_t kStopEventName[] = L"MorvikVirtualPadStop";

}  // namespace morvik::vpad
