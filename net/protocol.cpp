#include "net/protocol.h"

#include "shell/game.h"

// Stand-ins until the protocol lands.
int send_status(Game&) { return 1; }
int receive_messages(Game&) { return 1; }
