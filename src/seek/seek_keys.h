// The per-frame bridge from keyboard, held buttons and mouse to the seek and the controls.
#pragma once

void ProcessSeekKeys();
