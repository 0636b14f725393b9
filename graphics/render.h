// The picture of one frame: backdrop, level, tanks, shots, smoke, the
// spinning cube, the crosshair, the HUD and the message lines.
#pragma once

#include <cstdint>

struct Game;

int render_frame(Game& game);
int draw_box(float x, float y, float z, float size_x, float size_y, float size_z, float tex_scale_x,
             float tex_scale_y, float tex_scale_z, int32_t texture_mode);
float planar_distance(float ax, float az, float bx, float bz);
