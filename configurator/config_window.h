// The dialog ConfigMain on screen. It draws the controls of the form's
// plain state and forwards the player's input to the form's handlers.
#pragma once

#include "configurator/config_form.h"

// Shows the dialog and runs it until it ends. Returns the program's exit
// status: 0 when it ended normally, 1 after an error was reported.
int run_config_dialog();
