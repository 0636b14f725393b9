// The game program: everything happens in the current directory.
#include <memory>

#include "shell/game.h"
#include "shell/main_loop.h"

int main() {
  auto game = std::make_unique<Game>();
  return program_main(*game);
}
