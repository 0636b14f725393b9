// The picture of one frame: backdrop, level, tanks, shots, smoke, the
// spinning cube, the crosshair, the HUD and the message lines, and the
// score table while it is asked for.
#pragma once

#include <cstdint>

struct Game;

int render_frame(Game& game);
// The chat line being typed, with its prompt, over the picture; drawn after
// the editor has handled this frame's keys.
void draw_chat_entry(const Game& game);
// The score table, players by kills, over the picture (graphics/score_table.cpp).
void draw_score_table(const Game& game);
int draw_box(float x, float y, float z, float size_x, float size_y, float size_z, float tex_scale_x,
             float tex_scale_y, float tex_scale_z, int32_t texture_mode);
// The faces of draw_box whose bits are set, in its order: near, far, top,
// bottom, right, left (bit 0 the near face).
inline constexpr uint32_t kAllBoxFaces = 0x3f;
void draw_box_faces(float x, float y, float z, float size_x, float size_y, float size_z, float tex_scale_x,
                    float tex_scale_y, float tex_scale_z, int32_t texture_mode, uint32_t faces);
float planar_distance(float ax, float az, float bx, float bz);
