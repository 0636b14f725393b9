// Morvane-Configuration: the dialog that writes config.dat and starts the game.
#include "configurator/config_window.h"

int main() { return run_config_dialog(); }
