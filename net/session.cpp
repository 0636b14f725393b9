#include "net/session.h"

#include "shell/game.h"

// Stand-ins until the network lands: no session is ever found or opened.
int create_directplay(Game& game) {
  game.session.created = 1;
  return 1;
}
int release_directplay(Game& game) {
  game.session.created = 0;
  return 1;
}
int reset_directplay(Game& game) {
  release_directplay(game);
  create_directplay(game);
  return 1;
}
int connect_tcpip(Game&, const char*) { return 1; }
int connect_ipx(Game&) { return 0; }
int enumerate_sessions(Game& game) {
  game.session.session_count = 0;
  return 1;
}
int open_session(Game&) { return 0; }
