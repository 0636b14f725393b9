// The windowed game's hooks on the core: the shot's sound, and closing the
// window when the session is lost. Game's constructor sets them.
#include "core/game.h"

#include "audio/sound.h"
#include "platform/window.h"

namespace {

// The hooks are set only by Game's constructor, so the core that calls them
// is always a Game's.
void play_shot_sound(GameCore& core) {
  Game& game = static_cast<Game&>(core);
  play_sound(game, game.sound.shot_sound);
}

void close_main_window(GameCore& core) {
  platform::post_close(static_cast<Game&>(core).shell.main_window);
}

}  // namespace

Game::Game() { hooks = CoreHooks{play_shot_sound, close_main_window}; }
