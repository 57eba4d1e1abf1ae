// tavro-cli's entry point; the tool itself is in the library, where the tests reach it.

#include "cli/Command.h"

int main(int argc, char** argv) {
    return TavroCliMain(argc, argv);
}
