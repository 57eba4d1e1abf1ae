#pragma once
// tavro-cli's prompt services: what the core would show in a message box goes
// to stderr as one "tavro-cli: <text>" line, and a fatal path that ends the
// process ends tavro-cli with status 1, whatever status the desktop would use.
// There is nobody to answer a file chooser or a question, so they always cancel.

#include "io/Prompts.h"

// Installs them for the rest of the process (tavro-cli's entry does this first).
void InstallCliPrompts();
