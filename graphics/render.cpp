#include "graphics/render.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "audio/music.h"
#include "core/frame_timer.h"
#include "core/game.h"
#include "graphics/models.h"
#include "graphics/text.h"
#include "graphics/textures.h"
#include "graphics/view_volume.h"
#include "net/score.h"

namespace {

constexpr std::size_t kLineSize = 80;  // composed HUD and message lines: 79 characters
constexpr float kProjectileScale = 0.1f;
constexpr float kParticleScale = 0.05f;
// Event lines: the first in the middle of the screen, each further one a
// glyph cell lower.
constexpr int32_t kEventRowY = 232;
constexpr int32_t kEventRowStep = 16;

// The camera matrix sits on the stack under the current one; restoring it
// makes it current again and leaves a copy behind.
void restore_camera() {
  glPopMatrix();
  glPushMatrix();
}

// The view of this frame, from the projection and the camera matrix just set.
ViewVolume current_view_volume(const Game& game) {
  if (!game.graphics.spare_work) return ViewVolume{};
  float projection[16], camera[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, camera);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const Camera& eye = game.world.camera;
  return make_view_volume(projection, camera, viewport[3], {eye.camera_x, eye.camera_y, -eye.camera_z});
}

// Shells are cubes of side 0.2 about their position, puffs squares of side
// 0.05 facing the eye, and a tank reaches 1.76 from its position (a track's
// corner); the radii round these up.
constexpr float kProjectileRadius = 0.18f;
constexpr float kParticleRadius = 0.04f;
constexpr float kTankRadius = 1.8f;

// A pillar lift is a column from its base up by its size plus its current
// height; anything else is drawn from its own y.
void drawn_height(const LevelObject& box, float& y, float& size_y) {
  y = box.y;
  size_y = box.size_y;
  if (box.kind == LEVEL_KIND_LIFT && box.lift_pillar) {
    y = box.lift_base_y;
    size_y = box.size_y + box.y;
  }
}

bool level_box_seen(const ViewVolume& view, const LevelObject& box) {
  float y = 0, size_y = 0;
  drawn_height(box, y, size_y);
  const float a[3] = {box.x, y, -box.z}, b[3] = {box.x + box.size_x, y + size_y, -(box.z + box.size_z)};
  return box_seen(view, a, b);
}

bool drawn_kind(const LevelObject& box) { return box.kind == LEVEL_KIND_QUAD || box.kind == LEVEL_KIND_LIFT; }

void set_minifying_filter(int32_t filter) { glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter); }

void draw_box_object(const Game& game, const ViewVolume& view, const LevelObject& box) {
  restore_camera();
  if (!drawn_kind(box)) return;
  if (box.translucent) glEnable(GL_BLEND);
  bind_texture_slot(game.textures, box.texture);
  float y = 0, size_y = 0;
  drawn_height(box, y, size_y);
  int32_t texels_across = 0;
  if (box.texture >= 0 && static_cast<std::size_t>(box.texture) < kTextureSlotCount &&
      box.texture != TEXTURE_BACKDROP)
    texels_across = game.textures.slots[static_cast<std::size_t>(box.texture)].texels_across;
  const uint32_t magnified = magnified_faces(view, box, y, size_y, texels_across);
  if (magnified != 0) {
    set_minifying_filter(GL_LINEAR);
    draw_box_faces(box.x, y, box.z, box.size_x, size_y, box.size_z, box.tex_scale_x, box.tex_scale_y,
                   box.tex_scale_z, box.texture_mode, magnified);
    set_minifying_filter(GL_LINEAR_MIPMAP_LINEAR);
    restore_camera();
  }
  if (magnified != kAllBoxFaces)
    draw_box_faces(box.x, y, box.z, box.size_x, size_y, box.size_z, box.tex_scale_x, box.tex_scale_y,
                   box.tex_scale_z, box.texture_mode, kAllBoxFaces & ~magnified);
  glDisable(GL_BLEND);
}

// The boxes before the first translucent one in view: drawn before the
// backdrop, so the depth test spares the backdrop's pixels they cover.
// Nothing blended comes before them, so the picture is the same. Boxes wholly
// outside the view are left out wherever they stand. Returns where the rest
// of the level starts.
std::size_t draw_opaque_level_prefix(const Game& game, const ViewVolume& view) {
  const auto& objects = game.world.level.objects;
  std::size_t i = 0;
  for (; i < objects.size(); ++i) {
    const LevelObject& box = objects[i];
    if (!box.in_use || !drawn_kind(box) || !level_box_seen(view, box)) continue;
    if (box.translucent) break;
    draw_box_object(game, view, box);
  }
  return i;
}

// The rest of the level in index order, drawn over the backdrop.
void draw_level_rest(const Game& game, const ViewVolume& view, std::size_t first) {
  const auto& objects = game.world.level.objects;
  for (std::size_t i = first; i < objects.size(); ++i) {
    const LevelObject& box = objects[i];
    if (box.in_use && drawn_kind(box) && level_box_seen(view, box)) draw_box_object(game, view, box);
  }
}

// The backdrop ignores the camera: 96 units square at distance 80 fills the
// 45-degree view and stays fixed on screen. It comes after the boxes drawn
// first, so a strict depth test lets a box surface exactly at its distance
// keep the pixel, as it would had the backdrop come first.
void draw_backdrop(const Game& game) {
  glLoadIdentity();
  glColor4f(1, 1, 1, 1);
  glTranslatef(0, 0, -80);
  bind_texture_slot(game.textures, TEXTURE_BACKDROP);
  glDepthFunc(GL_LESS);
  glCallList(game.graphics.lists.backdrop_list);
  glDepthFunc(GL_LEQUAL);
  glColor4f(1, 1, 1, 1);
  glColor3f(1, 1, 1);
}

// The local tank is drawn relative to the eye: hull and tracks where the
// world would put them, turret and gun fixed in the view.
void draw_local_tank(const Game& game) {
  const LocalTank& tank = game.world.tank;
  const DisplayLists& lists = game.graphics.lists;
  if (!tank.in_play) return;
  glLoadIdentity();
  glRotatef(tank.gun_pitch, 1, 0, 0);
  glRotatef(tank.turret_heading, 0, 1, 0);
  glRotatef(tank.hull_heading, 0, -1, 0);
  glTranslatef(0, 0.2f, 0);
  glCallList(tracks_list(lists));
  glColor3f(0, 0, 1);
  glCallList(hull_list(lists));
  glLoadIdentity();
  glTranslatef(0, 0.2f, 0);
  glCallList(turret_list(lists));
  glColor3f(1, 1, 1);
}

// The local tank reaches at most this far from the eye.
constexpr float kLocalTankReach = 2.0f;

// Whether a translucent box comes within the local tank's reach. Only then
// can part of the tank lie behind glass, which hides what is drawn after it;
// otherwise the tank can go first and spare the pixels it covers.
bool glass_near_eye(const Game& game) {
  const Camera& eye = game.world.camera;
  // A box may run from its position towards lower values (a negative size).
  auto gap = [](float p, float from, float size) {
    const float low = std::min(from, from + size), high = std::max(from, from + size);
    return p < low ? low - p : (p > high ? p - high : 0.0f);
  };
  for (const LevelObject& box : game.world.level.objects) {
    if (!box.in_use || !box.translucent || !drawn_kind(box)) continue;
    const float dx = gap(eye.camera_x, box.x, box.size_x);
    const float dz = gap(eye.camera_z, box.z, box.size_z);
    // A lift's drawn height changes with it, so only its ground square counts.
    const float dy = box.kind == LEVEL_KIND_LIFT ? 0.0f : gap(eye.camera_y, box.y, box.size_y);
    if (!(dx * dx + dy * dy + dz * dz > kLocalTankReach * kLocalTankReach)) return true;
  }
  return false;
}

void draw_other_tanks(const Game& game, const ViewVolume& view) {
  const DisplayLists& lists = game.graphics.lists;
  glColor3f(1, 1, 1);
  for (const PlayerSlot& player : game.world.player_table) {
    if (!player.active || !player.in_play || player.player_id == game.world.tank.local_player_id) continue;
    if (!sphere_seen(view, player.x, player.y, -player.z, kTankRadius)) continue;
    restore_camera();
    glTranslatef(player.x, player.y, -player.z);
    glRotatef(player.hull_heading, 0, -1, 0);
    glCallList(tracks_list(lists));
    glColor3f(0, 0, 1);
    glCallList(hull_list(lists));
    restore_camera();
    glTranslatef(player.x, player.y, -player.z);
    glRotatef(player.turret_heading, 0, -1, 0);
    glCallList(turret_list(lists));
    glColor3f(1, 1, 1);
  }
}

// All shells in one batch: cubes of side 0.2 about each shell.
void draw_projectiles(const Game& game, const ViewVolume& view) {
  const Camera& camera = game.world.camera;
  const float eye[3] = {camera.camera_x, camera.camera_y, -camera.camera_z};
  glColor3f(1, 1, 1);
  restore_camera();
  bind_texture_slot(game.textures, TEXTURE_SHELL);
  glBegin(GL_QUADS);
  for (const Projectile& shot : game.world.projectile_table) {
    if (shot.active && sphere_seen(view, shot.x, shot.y, -shot.z, kProjectileRadius))
      emit_cube_quads(shot.x, shot.y, -shot.z, kProjectileScale, eye);
  }
  glEnd();
}

// glRotatef's matrix for an angle in degrees about a unit axis.
void rotation(float degrees, float x, float y, float z, float (&m)[3][3]) {
  const float radians = degrees * static_cast<float>(M_PI / 180.0);
  const float c = std::cos(radians), s = std::sin(radians), t = 1.0f - c;
  const float r[3][3] = {{x * x * t + c, x * y * t - z * s, x * z * t + y * s},
                         {y * x * t + z * s, y * y * t + c, y * z * t - x * s},
                         {x * z * t - y * s, y * z * t + x * s, z * z * t + c}};
  std::memcpy(m, r, sizeof r);
}

void multiply(const float (&a)[3][3], const float (&b)[3][3], float (&out)[3][3]) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
}

// Smoke puffs face the viewer: the camera's rotation is undone (worked out
// once for all puffs) and the squares go out in one batch, in index order,
// since depth writes are on. Puffs at or beyond their view distance are
// skipped.
void draw_particles(const Game& game, const ViewVolume& view) {
  glEnable(GL_BLEND);
  glColor3f(1, 1, 1);
  if (!game.settings.particles_enabled) return;
  const Camera& camera = game.world.camera;
  const LocalTank& tank = game.world.tank;
  float heading[3][3], pitch[3][3], turn[3][3], corners[4][3];
  rotation(camera.camera_heading, 0, -1, 0, heading);
  rotation(camera.camera_pitch, -1, 0, 0, pitch);
  multiply(heading, pitch, turn);
  for (auto& row : turn)
    for (float& v : row) v *= kParticleScale;
  billboard_corners(turn, corners);
  restore_camera();
  bind_texture_slot(game.textures, TEXTURE_SMOKE);
  glBegin(GL_QUADS);
  for (const Particle& puff : game.world.particle_pool) {
    if (!puff.active) continue;
    if (!(planar_distance(tank.x, tank.z, puff.x, puff.z) < puff.view_distance)) continue;
    if (!sphere_seen(view, puff.x, puff.y, -puff.z, kParticleRadius)) continue;
    glColor4f(puff.red, puff.green, puff.blue, puff.life);
    emit_billboard_quad(corners, puff.x, puff.y, -puff.z);
  }
  glEnd();
}

void draw_spinning_cube(const Game& game) {
  glDisable(GL_BLEND);
  glColor3f(1, 1, 1);
  restore_camera();
  glTranslatef(0, 1, -9);
  glRotatef(game.world.frame_counter, 0.8f, 1.2f, 1.0f);
  glEnable(GL_BLEND);
  bind_texture_slot(game.textures, TEXTURE_SHELL);
  glCallList(game.graphics.lists.cube_list);
  glDisable(GL_BLEND);
}

// Appends at most `limit` characters of a field that need not be terminated,
// keeping the line within its buffer.
void append(char (&line)[kLineSize], std::size_t& used, const char* field, std::size_t limit) {
  for (std::size_t i = 0; i < limit && field[i] != '\0' && used < kLineSize - 1; ++i) line[used++] = field[i];
  line[used] = '\0';
}

// "source: text", cut at 79 characters.
void compose_message(char (&line)[kLineSize], const LogEntry& entry) {
  std::size_t used = 0;
  line[0] = '\0';
  append(line, used, entry.source, sizeof entry.source);
  append(line, used, ": ", 2);
  append(line, used, entry.text, sizeof entry.text);
}

int32_t length_of(const char* line) { return static_cast<int32_t>(std::strlen(line)); }

// FPS top right, HEALTH bottom left, the music clock bottom right.
void draw_hud(Game& game) {
  char line[kLineSize];
  glColor3f(1, 1, 1);
  std::snprintf(line, sizeof line, "FPS: %d", game.world.frames_per_second);
  draw_text(game, 630 - 10 * length_of(line), 463, line, 0);
  glColor3f(1, 1, 1);
  std::snprintf(line, sizeof line, "HEALTH: %d", game.world.tank.health);
  draw_text(game, 0, 0, line, 0);

  // Whole milliseconds; kept within int range so a wild start time cannot
  // make the conversion undefined.
  double elapsed_ms = now_ms(game.shell.timer) - game.world.music_track_start_ms;
  elapsed_ms = std::clamp(elapsed_ms, -2147483647.0, 2147483647.0);
  const int32_t elapsed = static_cast<int32_t>(elapsed_ms) / 1000;
  int32_t length = 0;
  const int32_t track = game.world.music_track;
  if (track >= 0 && static_cast<std::size_t>(track) < music_track_table.size())
    length = music_track_table[static_cast<std::size_t>(track)].length_ms / 1000;
  glColor3f(1, 1, 1);
  std::snprintf(line, sizeof line, "MUSIC: %d:%.2d/%d:%.2d", elapsed / 60, elapsed % 60, length / 60, length % 60);
  draw_text(game, 630 - 10 * length_of(line), 0, line, 0);
}

// The four newest messages, newest lowest; an event is shown in the middle,
// red fading to white. Events shown at the same time are stacked downward
// from the middle, the newest on top, so that a busy game's kills stay
// readable; a lone event sits exactly in the middle. Each shown entry ages
// by one frame.
void draw_message_lines(Game& game) {
  char line[kLineSize];
  int32_t events_above = 0;
  for (std::size_t i = 0; i < game.log.entries.size(); ++i) {
    LogEntry& entry = game.log.entries[i];
    if (entry.age >= LOG_VISIBLE_FRAMES) continue;
    compose_message(line, entry);
    glColor3f(1, 1, 1);
    if (entry.category == LOG_EVENT) {
      const float c = static_cast<float>(entry.age) * 0.005f;
      glColor3f(1, c, c);
      const int32_t y = kEventRowY - kEventRowStep * events_above++;
      draw_text(game, (640 - text_columns(line) * 10) / 2, y, line, 0);
    } else {
      draw_text(game, 0, 415 + 16 * static_cast<int32_t>(i), line, 0);
    }
    ++entry.age;
  }
}

}  // namespace

int render_frame(Game& game) {
  const Camera& camera = game.world.camera;
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  glLoadIdentity();
  glRotatef(camera.camera_pitch, 1, 0, 0);
  glRotatef(camera.camera_heading, 0, 1, 0);
  glRotatef(camera.camera_roll, 0, 0, 1);
  glTranslatef(-camera.camera_x, -camera.camera_y, camera.camera_z);
  glPushMatrix();
  const ViewVolume view = current_view_volume(game);

  // Lighting is on for the whole scene; text turns it off.
  glEnable(GL_LIGHTING);
  glColor3f(1, 1, 1);
  // Opaque things nearest first, then the backdrop where they left room,
  // then everything in its own order.
  const bool tank_first = !glass_near_eye(game);
  if (tank_first) draw_local_tank(game);
  const std::size_t rest = draw_opaque_level_prefix(game, view);
  draw_backdrop(game);
  draw_level_rest(game, view, rest);
  if (!tank_first) draw_local_tank(game);
  draw_other_tanks(game, view);
  draw_projectiles(game, view);
  draw_particles(game, view);
  draw_spinning_cube(game);

  glDisable(GL_LIGHTING);
  draw_text(game, 312, 232, "+", 0);
  if (game.world.in_session) draw_hud(game);
  draw_message_lines(game);
  if (score_table_shown(game)) draw_score_table(game);

  glPopMatrix();
  glLoadIdentity();
  return 1;
}

void draw_chat_entry(const Game& game) {
  draw_text(game, 150, 300, "Please enter a chat message.", 1);
  draw_text(game, 200, 280, ">", 1);
  draw_text(game, 216, 280, game.world.chat_line, 0);
}

// Unit box from (0, 0, 0) to (1, 1, -1), scaled to the object. Side faces
// take Y0 along their upper edge so images stand upright; every face winds
// counter-clockwise seen from outside.
int draw_box(float x, float y, float z, float size_x, float size_y, float size_z, float tex_scale_x,
             float tex_scale_y, float tex_scale_z, int32_t texture_mode) {
  draw_box_faces(x, y, z, size_x, size_y, size_z, tex_scale_x, tex_scale_y, tex_scale_z, texture_mode, kAllBoxFaces);
  return 1;
}

void draw_box_faces(float x, float y, float z, float size_x, float size_y, float size_z, float tex_scale_x,
                    float tex_scale_y, float tex_scale_z, int32_t texture_mode, uint32_t faces) {
  glTranslatef(x, y, -z);
  glScalef(size_x, size_y, size_z);
  float x0 = 0, x1 = 1, y0 = 0, y1 = 1, z0 = 0, z1 = 1;
  if (texture_mode == 1) {  // repeat by world position
    x0 = x * tex_scale_x;
    x1 = (x + size_x) * tex_scale_x;
    y0 = y * tex_scale_y;
    y1 = (y + size_y) * tex_scale_y;
    z0 = z * tex_scale_z;
    z1 = (z + size_z) * tex_scale_z;
  }
  const float corners[24][5] = {
      // near, unit z = 0
      {0, 1, 0, x0, y0}, {0, 0, 0, x0, y1}, {1, 0, 0, x1, y1}, {1, 1, 0, x1, y0},
      // far, unit z = -1
      {0, 0, -1, x1, y1}, {0, 1, -1, x1, y0}, {1, 1, -1, x0, y0}, {1, 0, -1, x0, y1},
      // top
      {0, 1, -1, x0, z0}, {0, 1, 0, x0, z1}, {1, 1, 0, x1, z1}, {1, 1, -1, x1, z0},
      // bottom
      {0, 0, 0, x1, z1}, {0, 0, -1, x1, z0}, {1, 0, -1, x0, z0}, {1, 0, 0, x0, z1},
      // right, unit x = 1
      {1, 1, 0, z0, y0}, {1, 0, 0, z0, y1}, {1, 0, -1, z1, y1}, {1, 1, -1, z1, y0},
      // left, unit x = 0
      {0, 1, -1, z0, y0}, {0, 0, -1, z0, y1}, {0, 0, 0, z1, y1}, {0, 1, 0, z1, y0},
  };
  glBegin(GL_QUADS);
  for (std::size_t i = 0; i < 24; ++i) {
    if (!(faces & (1u << (i / 4)))) continue;
    glTexCoord2f(corners[i][3], corners[i][4]);
    glVertex3f(corners[i][0], corners[i][1], corners[i][2]);
  }
  glEnd();
}

// Larger plus five sixteenths of the smaller: a square-root-free estimate.
float planar_distance(float ax, float az, float bx, float bz) {
  float dx = bx > ax ? bx - ax : ax - bx;
  float dz = bz > az ? bz - az : az - bz;
  float m = dx < dz ? dx : dz;
  return dx + dz - m * 0.5f - m * 0.25f + m * 0.0625f;
}
