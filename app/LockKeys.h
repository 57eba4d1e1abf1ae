#pragma once
// The state of the Caps, Num and Scroll Lock keys, for the status bar's
// indicators. Qt has no portable way to ask; on X11 the keyboard extension
// knows the lit indicators.

#include <array>
#include <optional>

enum LockKey { LOCK_CAPS = 0, LOCK_NUM = 1, LOCK_SCROLL = 2 };

// On/off of Caps, Num and Scroll Lock in that order; nothing when the
// windowing system cannot tell (Wayland, offscreen).
std::optional<std::array<bool, 3>> QueryLockKeys();
