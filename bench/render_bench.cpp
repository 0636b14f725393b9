// Where the time of a frame goes. At 640 x 480 and 1024 x 768: the empty
// frame (clear and swap), one full-screen textured square (the fill rate),
// the fixed scene (level, sky, local tank, spinning cube, HUD), the fixed
// scene with each kind of object on its own, the full worst case, and how
// the frame grows with shells, smoke, tanks and level boxes. Each figure is
// the median of several runs; beside the wall time per frame stand the CPU
// time of the calls that issue the frame (render_frame alone, on this
// thread, before anything waits for the pixels) and the CPU time of the
// whole process per frame (the rasteriser's threads included), which tells
// the work apart from the waiting on a busy machine. Two worst cases: the
// count worst case (every tank, 256 shells and 1000 smoke puffs in view) and
// the fill worst case (glass within the local tank's reach covering the
// view, the tanks, full message lines and an event). Each row's CPU columns
// are compared with the stored baseline (bench/render_baseline.txt), and rows
// more than 20% slower are flagged; MORVANE_BENCH_SAVE_BASELINE=1 stores the
// new figures as the baseline instead. Run it on a display (scripts/run-bench.sh
// uses Xvfb).
#include <GL/gl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "battle.h"
#include "core/game.h"
#include "graphics/gl_setup.h"
#include "graphics/render.h"
#include "graphics/textures.h"
#include "net/message_log.h"
#include "platform/window.h"
#include "world/level.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
constexpr double kSecondsPerRun = 0.4;
constexpr int kMinFramesPerRun = 8;

double cpu_seconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// Seconds since the process started, from the kernel's record of its start
// (clock ticks since boot) and the boot-time clock.
double seconds_since_launch() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t end_of_name = text.rfind(')');
  if (end_of_name == std::string::npos) return -1;
  std::size_t position = end_of_name + 2;
  // Field 22 (start time); the text after the name starts at field 3.
  for (int field = 3; field < 22 && position != std::string::npos; ++field) position = text.find(' ', position) + 1;
  const double start_ticks = std::stod(text.substr(position));
  return cpu_seconds(CLOCK_BOOTTIME) - start_ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Milliseconds since launch at each stage of setting up the first scene.
struct StartupStages {
  double window = 0, textures = 0, scene = 0;
};

bool open_scene(Game& game, LevelTable& shipped, int32_t width, int32_t height, StartupStages& stages) {
  int32_t desktop_width = 0, desktop_height = 0;
  platform::desktop_size(desktop_width, desktop_height);
  game.shell.main_window = platform::create_main_window("Morvane benchmark", desktop_width, desktop_height);
  stages.window = seconds_since_launch() * 1000;
  char error_text[80] = {};
  const bool ok =
      game.shell.main_window &&
      open_texture_archive(game.textures, MORVANE_GAME_DIR "/mrvn.pak", texture_offsets, error_text) == 1 &&
      load_level(shipped, MORVANE_GAME_DIR "/default.mvl") == 1 &&
      platform::set_display_mode(game.shell.main_window, width, height, 16) &&
      create_gl_context(game, width, height, 16) == 1 && load_textures(game.textures) == 1;
  stages.textures = seconds_since_launch() * 1000;
  const bool scene = ok && init_gl_scene(game, width, height) == 1;
  stages.scene = seconds_since_launch() * 1000;
  game.world.level = shipped;
  return scene;
}

void close_scene(Game& game) {
  free_textures(game.textures);
  destroy_gl(game, true);
  platform::destroy_window(game.shell.main_window);
}

struct Timing {
  double frame_ms = 0;  // wall time per frame
  double issue_ms = 0;  // CPU time of the drawing calls on this thread
  double cpu_ms = 0;    // CPU time of the whole process per frame
};

enum class Draw { Empty, Sky, Frame };

// The screen-fixed backdrop exactly as the frame draws it, alone.
void draw_sky_only(const Game& game) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glLoadIdentity();
  glEnable(GL_LIGHTING);
  glColor4f(1, 1, 1, 1);
  glTranslatef(0, 0, -80);
  bind_texture_slot(game.textures, TEXTURE_BACKDROP);
  glCallList(game.graphics.lists.backdrop_list);
  glLoadIdentity();
}

Timing one_run(Game& game, Draw what) {
  int frames = 0;
  double issue = 0;
  const double process_start = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID);
  const Clock::time_point start = Clock::now();
  double elapsed = 0;
  while (elapsed < kSecondsPerRun || frames < kMinFramesPerRun) {
    const double before = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
    if (what == Draw::Empty) glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (what == Draw::Sky) draw_sky_only(game);
    if (what == Draw::Frame) render_frame(game);
    issue += cpu_seconds(CLOCK_THREAD_CPUTIME_ID) - before;
    glFlush();
    platform::swap_buffers(game.shell.main_window);
    game.world.frame_counter += 1;
    for (LogEntry& entry : game.log.entries) entry.age = 0;  // keep the message lines on screen
    ++frames;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  }
  glFinish();
  elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const double process = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID) - process_start;
  return {1000 * elapsed / frames, 1000 * issue / frames, 1000 * process / frames};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

enum class Fill { No, Yes };

Timing measure(Game& game, const LevelTable& shipped, const BattleLoad& load, Draw what = Draw::Frame,
               Fill fill = Fill::No) {
  shape_level(game.world.level, shipped, load.boxes);
  populate_battle(game, load);
  const MessageLog log = game.log;
  if (fill == Fill::Yes) add_fill_load(game);
  one_run(game, what);  // warm-up: shaders compiled, caches filled
  std::vector<double> frame, issue, cpu;
  for (int run = 0; run < kRuns; ++run) {
    const Timing t = one_run(game, what);
    frame.push_back(t.frame_ms);
    issue.push_back(t.issue_ms);
    cpu.push_back(t.cpu_ms);
  }
  game.log = log;
  return {median(frame), median(issue), median(cpu)};
}

// The stored CPU columns of every row, keyed by "<size> <row name>".
struct Baseline {
  struct Row {
    double issue_ms = 0, cpu_ms = 0;
  };
  std::map<std::string, Row> rows;
  std::vector<std::string> order;  // rows measured this run, for saving
  std::map<std::string, Row> measured;
  std::string size;                // "640x480" while that size is measured
  int slower = 0;
  bool save = false;
};

const char* const kBaselinePath = MORVANE_SOURCE_DIR "/bench/render_baseline.txt";

// Lines "<issue ms> <CPU ms> <size> <row name>"; '#' starts a comment.
void load_baseline(Baseline& baseline) {
  std::ifstream file(kBaselinePath);
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream in(line);
    Baseline::Row row;
    std::string key;
    if (!(in >> row.issue_ms >> row.cpu_ms) || !std::getline(in >> std::ws, key)) continue;
    baseline.rows[key] = row;
  }
}

void save_baseline(const Baseline& baseline) {
  std::ofstream file(kBaselinePath);
  file << "# The frame benchmark's CPU columns (ms a frame, medians of 5): issue, whole process.\n"
          "# Written by MORVANE_BENCH_SAVE_BASELINE=1 scripts/run-bench.sh; compared by make bench.\n";
  char text[64];
  for (const std::string& key : baseline.order) {
    const Baseline::Row& row = baseline.measured.at(key);
    std::snprintf(text, sizeof text, "%.3f %.2f ", row.issue_ms, row.cpu_ms);
    file << text << key << '\n';
  }
  std::printf("baseline saved in %s\n", kBaselinePath);
}

Baseline g_baseline;

// The change of one CPU column against its baseline, in percent. Below a
// twentieth of a millisecond the figures are noise, so no flag is raised.
std::string change(double now, double before, bool& slower) {
  if (before <= 0) return "";
  const double percent = 100 * (now - before) / before;
  if (percent > 20 && now - before > 0.05) slower = true;
  char text[16];
  std::snprintf(text, sizeof text, "%+.0f%%", percent);
  return text;
}

void print_row(const char* name, const Timing& t) {
  std::printf("  %-40s %8.2f %7.1f %9.3f %9.2f", name, t.frame_ms, 1000 / t.frame_ms, t.issue_ms, t.cpu_ms);
  const std::string key = g_baseline.size + " " + name;
  if (!g_baseline.measured.count(key)) g_baseline.order.push_back(key);
  g_baseline.measured[key] = {t.issue_ms, t.cpu_ms};
  const auto before = g_baseline.rows.find(key);
  if (before != g_baseline.rows.end()) {
    bool slower = false;
    const std::string issue = change(t.issue_ms, before->second.issue_ms, slower);
    const std::string cpu = change(t.cpu_ms, before->second.cpu_ms, slower);
    std::printf(" %8s %8s%s", issue.c_str(), cpu.c_str(), slower ? "  SLOWER by more than 20%" : "");
    g_baseline.slower += slower;
  }
  std::printf("\n");
  std::fflush(stdout);
}

void print_header(const char* title) {
  std::printf("  %-40s %8s %7s %9s %9s %8s %8s\n", title, "ms/frame", "fps", "issue ms", "CPU ms", "issue", "CPU");
}

void explain_frame(Game& game, const LevelTable& shipped) {
  print_header("scene (median of 5 runs)");
  const BattleLoad fixed{1, 0, 0, -1, 0};
  print_row("empty frame (clear + swap)", measure(game, shipped, fixed, Draw::Empty));
  print_row("sky alone (one full-screen textured quad)", measure(game, shipped, fixed, Draw::Sky));
  const Timing base = measure(game, shipped, fixed);
  print_row("fixed scene (level, sky, own tank, HUD)", base);
  print_row("fixed + 8 tanks", measure(game, shipped, {8, 0, 0, -1, 0}));
  print_row("fixed + 256 shells", measure(game, shipped, {1, 256, 0, -1, 0}));
  print_row("fixed + 1000 smoke puffs", measure(game, shipped, {1, 0, 1000, -1, 0}));
  const Timing worst = measure(game, shipped, kWorstCase);
  print_row("full worst case", worst);
  print_row("fill worst case", measure(game, shipped, {8, 0, 0, -1, 0}, Draw::Frame, Fill::Yes));
  std::printf("  worst case / fixed scene: %.2f x (wall), %.2f x (CPU)\n", worst.frame_ms / base.frame_ms,
              worst.cpu_ms / base.cpu_ms);
}

void scaling_table(Game& game, const LevelTable& shipped) {
  print_header("scaling (the rest of the worst case kept)");
  char name[64];
  for (int32_t shells : {0, 64, 128, 256}) {
    std::snprintf(name, sizeof name, "shells %d", shells);
    print_row(name, measure(game, shipped, {8, shells, 1000, -1, 0}));
  }
  for (int32_t puffs : {0, 250, 500, 1000}) {
    std::snprintf(name, sizeof name, "smoke puffs %d", puffs);
    print_row(name, measure(game, shipped, {8, 256, puffs, -1, 0}));
  }
  for (int32_t tanks : {1, 4, 8}) {
    std::snprintf(name, sizeof name, "tanks %d", tanks);
    print_row(name, measure(game, shipped, {tanks, 256, 1000, -1, 0}));
  }
  for (int32_t boxes : {16, 64, 256}) {
    std::snprintf(name, sizeof name, "level boxes %d", boxes);
    print_row(name, measure(game, shipped, {8, 256, 1000, boxes, 0}));
  }
}

}  // namespace

int main(int argc, char** argv) {
  // "quick": the start-up figure and the worst case only.
  const bool quick = argc > 1 && std::string(argv[1]) == "quick";
  const char* save = std::getenv("MORVANE_BENCH_SAVE_BASELINE");
  g_baseline.save = save && std::string(save) == "1" && !quick;
  load_baseline(g_baseline);
  if (!g_baseline.save)
    std::printf("the last two columns: change of the CPU columns against %s\n",
                g_baseline.rows.empty() ? "a baseline (none stored yet)" : kBaselinePath);
  bool first = true;
  for (auto [width, height] : {std::pair{640, 480}, std::pair{1024, 768}}) {
    auto game = std::make_unique<Game>();
    auto shipped = std::make_unique<LevelTable>();
    timer_start(game->shell.timer);
    StartupStages stages;
    if (!open_scene(*game, *shipped, width, height, stages)) {
      std::fprintf(stderr, "cannot set up %dx%d (display, OpenGL or game data missing)\n", width, height);
      return 1;
    }
    populate_battle(*game, kWorstCase);
    add_log_entry(game->log, LOG_NOTICE, "benchmark running", "SYS");
    render_frame(*game);
    platform::swap_buffers(game->shell.main_window);
    glFinish();
    if (first) {
      const double shown = seconds_since_launch() * 1000;
      std::printf("start-up in process, launch to first frame: %.0f ms (ms since launch at: window %.0f, context and textures %.0f,"
                  " display lists %.0f, first frame %.0f; no sound or music)\n",
                  shown, stages.window, stages.textures, stages.scene, shown);
    }
    first = false;
    std::printf("\n%dx%d\n", width, height);
    g_baseline.size = std::to_string(width) + "x" + std::to_string(height);
    if (quick) {
      print_header("scene (median of 5 runs)");
      print_row("full worst case", measure(*game, *shipped, kWorstCase));
      print_row("fill worst case", measure(*game, *shipped, {8, 0, 0, -1, 0}, Draw::Frame, Fill::Yes));
    } else {
      explain_frame(*game, *shipped);
      scaling_table(*game, *shipped);
    }
    close_scene(*game);
  }
  if (g_baseline.save) save_baseline(g_baseline);
  else if (!g_baseline.rows.empty())
    std::printf("\n%d row(s) more than 20%% slower than the baseline\n", g_baseline.slower);
  return 0;
}
