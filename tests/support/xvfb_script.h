// The opening of the shell scripts that run the demo on a private X server: starts Xvfb on a
// free display (it picks one and writes its number), waits for it, exports DISPLAY, and
// kills it when the script ends.
#pragma once

constexpr const char* kStartPrivateXvfb = R"sh(
set -u
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>display.txt 2>xvfb.log &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for i in $(seq 100); do [ -s display.txt ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 display.txt)"
)sh";
