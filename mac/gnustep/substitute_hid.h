// GNUstep build only: what the simulated HID manager offers beyond IOKit's calls.
#pragma once

// Every simulated pad present goes away now, as on an "unplug" cue.
void MorvikSimUnplugAll();
// Every simulated pad present stops taking reports, but stays present: a link that failed a
// moment before the HID manager reports the pad's removal.
void MorvikSimCutLinks();
