// What our win32 stand-in offers beyond user32/kernel32, for tools and tests only; the
// program's Parts never include this.
#pragma once

namespace win32ext {

// Forgets the registered classes, the window, the queued messages, a posted quit and the
// cursor display count, for tools and tests that run the program more than once in one
// process. Touches no host.
void Reset();

// Messages waiting in the queue (the quit message not counted).
int QueuedMessages();

} // namespace win32ext
