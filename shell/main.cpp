// The game program: everything happens in the current directory.
#include <memory>

#include "core/game.h"
#include "platform/window.h"
#include "shell/main_loop.h"

int main() {
  int code = 0;
  {
    auto game = std::make_unique<Game>();
    code = program_main(*game);
  }
  // Every window, context and device is released by now.
  platform::shut_down();
  return code;
}
