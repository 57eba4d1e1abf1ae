#pragma once
// The pictures and desktop files compiled into the program (":/icons/...",
// ":/desktop/..."). They live in a static library, so they are registered on
// first use; calling this again does nothing.
void InitShellResources();
