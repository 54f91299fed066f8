// GNUstep build only: what the simulated HID manager offers beyond IOKit's calls.
#pragma once

// Every simulated pad present goes away now, as on an "unplug" cue.
void MorvikSimUnplugAll();
