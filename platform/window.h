// The window services the game relies on: one full-screen window with an
// OpenGL 1.1 context, its event queue, message boxes and the display mode.
// Everything is used from the game's one thread.
#pragma once

#include <cstdint>

namespace platform {

struct Window;  // opaque; owned by this layer

// The events the game's window procedure sees. Keyboard and mouse activity
// also passes through the queue (as Other) and is recorded for the input
// devices on the way.
enum class WindowEventType {
  Other,
  ActivateApp,  // wparam: 1 active, 0 inactive
  Destroy,      // the window went away
  SetCursor,    // the system asks which pointer to show
  KeyDown,      // wparam: virtual key; Escape is 27
  Quit,         // wparam: exit code
};

struct WindowEvent {
  WindowEventType type = WindowEventType::Other;
  uint32_t wparam = 0;
};

inline constexpr uint32_t kVirtualKeyEscape = 27;

enum class MessageIcon { Warning, Error, Information };

// Size of the desktop, read just before the window is created. False when
// there is no display to show a window on.
bool desktop_size(int32_t& width, int32_t& height);

// Creates the borderless full-screen window, shown, raised and focused, with
// the pointer hidden over it. Null when no window can be created (also when
// there is no display at all: the game never runs invisibly).
Window* create_main_window(const char* title, int32_t width, int32_t height);
void destroy_window(Window* window);
// Gives the window its icon: width x height pixels, 0xAARRGGBB, top row first.
void set_window_icon(Window* window, const uint32_t* pixels, int32_t width, int32_t height);

// Takes one event without waiting; false when none was waiting.
bool take_event(Window* window, WindowEvent& event);
// Blocks until an event arrives.
void wait_event(Window* window);
// Blocks until an event arrives or timeout_ms has passed.
void wait_event_timeout(Window* window, int32_t timeout_ms);
// Asks the window to close: a Destroy event follows through the queue.
void post_close(Window* window);
// Puts the quit event with an exit code into the queue.
void post_quit(int32_t exit_code);

// A modal box with a text, a caption and an icon, owned by the window (which
// may be null). Returns when the player has closed it.
void message_box(Window* window, const char* text, const char* caption, MessageIcon icon);

// Sets the game's drawing size at the given colour depth. The desktop's own
// mode is never changed: the game draws at this size into an off-screen
// surface that the buffer swap scales to the whole window. The size belongs
// to the window. False when the size cannot be served or there is no window.
bool set_display_mode(Window* window, int32_t width, int32_t height, int32_t bits_per_pixel);
// Returns to the desktop's presentation and shows the pointer again.
void restore_display_mode(Window* window);

// Makes an OpenGL 1.1 compatibility context current on the window:
// double-buffered RGBA, colour and depth as close to 16 bits as the display
// gives. False on any failure.
bool create_gl_context(Window* window, int32_t color_bits, int32_t depth_bits);
// Releases the context; false when it cannot be released.
bool destroy_gl_context(Window* window);
// Asks the buffer swap to wait for the display's refresh (on) or not. True
// when the driver accepted; some drivers accept and still do not wait.
bool set_swap_sync(Window* window, bool on);
// The refresh rate of the window's display in Hz; 0 when unknown (Xvfb).
int32_t display_refresh_rate(Window* window);
// Presents the finished frame: the drawing surface scaled as large as the
// window allows with its own proportions, centred, with bars of the current
// clear colour beside or above and below it.
void swap_buffers(Window* window);

// Where a picture of width x height lands in a window of out_width x
// out_height when it keeps its proportions: [x0, x1) x [y0, y1), centred.
struct PictureRect {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
PictureRect fit_picture(int32_t width, int32_t height, int32_t out_width, int32_t out_height);

// Ends the platform layer's use of SDL once everything built on it (windows,
// contexts, sound, input) has been released. Harmless when nothing started.
void shut_down();

}  // namespace platform
