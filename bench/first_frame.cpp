// Start-up of the real game program timed from outside: starts the program
// given on the command line in the current directory, watches the screen
// and reports the milliseconds from launch until the program's first frame
// shows (most of nine sample points changed to a colour that is neither
// black nor what the screen held before), then ends the program.
//   morvane_first_frame PROGRAM
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cstdio>

namespace {

constexpr int kSamples = 9;
constexpr double kGiveUpMs = 20000;

double now_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + now.tv_nsec * 1e-6;
}

// Pixels on a 3 x 3 grid over the middle of the screen.
std::array<unsigned long, kSamples> sample(Display* display, Window root, int width, int height) {
  std::array<unsigned long, kSamples> pixels{};
  for (int i = 0; i < kSamples; ++i) {
    const int x = width * (1 + i % 3) / 4, y = height * (1 + i / 3) / 4;
    XImage* image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
    pixels[static_cast<std::size_t>(i)] = image ? XGetPixel(image, 0, 0) : 0;
    if (image) XDestroyImage(image);
  }
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  const Window root = DefaultRootWindow(display);
  const int width = DisplayWidth(display, DefaultScreen(display));
  const int height = DisplayHeight(display, DefaultScreen(display));
  const auto before = sample(display, root, width, height);

  const double launch = now_ms();
  const pid_t child = fork();
  if (child == 0) {
    // The program's own output would mix with the figure printed here.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) {
      dup2(quiet, STDOUT_FILENO);
      dup2(quiet, STDERR_FILENO);
    }
    execv(argv[1], argv + 1);
    _exit(127);
  }
  double shown = -1;
  while (shown < 0 && now_ms() - launch < kGiveUpMs) {
    const auto now = sample(display, root, width, height);
    int changed = 0;
    for (int i = 0; i < kSamples; ++i) changed += now[i] != before[i] && (now[i] & 0xffffff) != 0;
    if (changed > kSamples / 2) shown = now_ms() - launch;
    usleep(1000);
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  XCloseDisplay(display);
  if (shown < 0) {
    std::fprintf(stderr, "no frame within %.0f ms\n", kGiveUpMs);
    return 1;
  }
  std::printf("%.0f\n", shown);
  return 0;
}
