// The keyboard and mouse devices on the main window, read into the game's
// input state once per frame.
#pragma once

struct Game;

// Returns 1, or 5 when the devices cannot be created.
int input_open(Game& game);
// Returns 1; safe when nothing was created.
int input_close(Game& game);
// Reads both devices into game.input. Returns 1, or 5 when a read failed.
int input_poll(Game& game);
