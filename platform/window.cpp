// The window services on SDL2. The game draws at its configured resolution;
// when that is the window's own size it draws straight into the window,
// otherwise into an off-screen framebuffer that each buffer swap scales into
// the full-screen window, keeping its proportions. The desktop's own display
// mode is never changed, so the game behaves the same on X11, Wayland and
// Xvfb.
#include "platform/window.h"

#include <GL/gl.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/sdl_events.h"

namespace platform {

namespace {

// OpenGL 3.0 framebuffer entry points, fetched at run time.
using GenFn = void (*)(GLsizei, GLuint*);
using DeleteFn = void (*)(GLsizei, const GLuint*);
using BindFn = void (*)(GLenum, GLuint);
using StorageFn = void (*)(GLenum, GLenum, GLsizei, GLsizei);
using AttachFn = void (*)(GLenum, GLenum, GLenum, GLuint);
using StatusFn = GLenum (*)(GLenum);
using AttachTextureFn = void (*)(GLenum, GLenum, GLenum, GLuint, GLint);

constexpr GLenum kFramebuffer = 0x8D40;
constexpr GLenum kRenderbuffer = 0x8D41;
constexpr GLenum kColorAttachment0 = 0x8CE0;
constexpr GLenum kDepthAttachment = 0x8D00;
constexpr GLenum kFramebufferComplete = 0x8CD5;
constexpr GLenum kDepthComponent16 = 0x81A5;
constexpr GLenum kRgb8 = 0x8051;
constexpr GLenum kClampToEdge = 0x812F;

struct FramebufferApi {
  GenFn gen_framebuffers = nullptr;
  DeleteFn delete_framebuffers = nullptr;
  BindFn bind_framebuffer = nullptr;
  GenFn gen_renderbuffers = nullptr;
  DeleteFn delete_renderbuffers = nullptr;
  BindFn bind_renderbuffer = nullptr;
  StorageFn renderbuffer_storage = nullptr;
  AttachFn framebuffer_renderbuffer = nullptr;
  StatusFn check_framebuffer_status = nullptr;
  AttachTextureFn framebuffer_texture = nullptr;

  bool load() {
    gen_framebuffers = reinterpret_cast<GenFn>(SDL_GL_GetProcAddress("glGenFramebuffers"));
    delete_framebuffers = reinterpret_cast<DeleteFn>(SDL_GL_GetProcAddress("glDeleteFramebuffers"));
    bind_framebuffer = reinterpret_cast<BindFn>(SDL_GL_GetProcAddress("glBindFramebuffer"));
    gen_renderbuffers = reinterpret_cast<GenFn>(SDL_GL_GetProcAddress("glGenRenderbuffers"));
    delete_renderbuffers = reinterpret_cast<DeleteFn>(SDL_GL_GetProcAddress("glDeleteRenderbuffers"));
    bind_renderbuffer = reinterpret_cast<BindFn>(SDL_GL_GetProcAddress("glBindRenderbuffer"));
    renderbuffer_storage = reinterpret_cast<StorageFn>(SDL_GL_GetProcAddress("glRenderbufferStorage"));
    framebuffer_renderbuffer =
        reinterpret_cast<AttachFn>(SDL_GL_GetProcAddress("glFramebufferRenderbuffer"));
    check_framebuffer_status =
        reinterpret_cast<StatusFn>(SDL_GL_GetProcAddress("glCheckFramebufferStatus"));
    framebuffer_texture = reinterpret_cast<AttachTextureFn>(SDL_GL_GetProcAddress("glFramebufferTexture2D"));
    return framebuffer_texture && gen_framebuffers && delete_framebuffers && bind_framebuffer && gen_renderbuffers &&
           delete_renderbuffers && bind_renderbuffer && renderbuffer_storage &&
           framebuffer_renderbuffer && check_framebuffer_status;
  }
};

// SDL user events carry the game's own close and quit requests.
Uint32 g_close_event = 0;
Uint32 g_quit_event = 0;

// Without a display SDL falls back to an invisible window; the game must not
// run like that unless a test asked for the off-screen driver itself.
bool invisible_fallback() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) return true;
  if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0) return false;
  const char* requested = std::getenv("SDL_VIDEODRIVER");
  return !(requested && std::strcmp(requested, driver) == 0);
}

bool display_configured() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

bool video_ready() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  // A display that is configured but refuses the first connection (a busy
  // X server) would leave SDL on its invisible fallback: try it again.
  constexpr int kAttempts = 4;
  bool ready = false;
  for (int attempt = 0; attempt < kAttempts && !ready; ++attempt) {
    if (attempt > 0) SDL_Delay(250);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) continue;
    ready = true;
    if (invisible_fallback() && display_configured() && attempt + 1 < kAttempts) {
      std::fprintf(stderr, "Morvane: the display did not answer; trying again\n");
      SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
      ready = false;
    }
  }
  if (!ready) return false;
  g_close_event = SDL_RegisterEvents(2);
  g_quit_event = g_close_event + 1;
  return true;
}

}  // namespace

struct Window {
  SDL_Window* sdl = nullptr;
  SDL_GLContext context = nullptr;
  FramebufferApi fb{};
  GLuint framebuffer = 0;
  GLuint color_buffer = 0;  // a texture, drawn scaled into the window
  GLuint depth_buffer = 0;
  int32_t fb_width = 0;
  int32_t fb_height = 0;
  int32_t mode_width = 0;  // the drawing size chosen by set_display_mode; 0 until then
  int32_t mode_height = 0;
  bool resize_failed = false;  // an off-screen framebuffer was refused after a resize
};

namespace {

void delete_framebuffer(Window& window) {
  if (!window.framebuffer) return;
  window.fb.bind_framebuffer(kFramebuffer, 0);
  window.fb.delete_framebuffers(1, &window.framebuffer);
  glDeleteTextures(1, &window.color_buffer);
  window.fb.delete_renderbuffers(1, &window.depth_buffer);
  window.framebuffer = window.color_buffer = window.depth_buffer = 0;
}

bool make_framebuffer(Window& window, int32_t width, int32_t height) {
  delete_framebuffer(window);
  FramebufferApi& fb = window.fb;
  fb.gen_framebuffers(1, &window.framebuffer);
  glGenTextures(1, &window.color_buffer);
  fb.gen_renderbuffers(1, &window.depth_buffer);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, window.color_buffer);
  glTexImage2D(GL_TEXTURE_2D, 0, kRgb8, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, kClampToEdge);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, kClampToEdge);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  fb.bind_renderbuffer(kRenderbuffer, window.depth_buffer);
  fb.renderbuffer_storage(kRenderbuffer, kDepthComponent16, width, height);
  fb.bind_framebuffer(kFramebuffer, window.framebuffer);
  fb.framebuffer_texture(kFramebuffer, kColorAttachment0, GL_TEXTURE_2D, window.color_buffer, 0);
  fb.framebuffer_renderbuffer(kFramebuffer, kDepthAttachment, kRenderbuffer, window.depth_buffer);
  if (fb.check_framebuffer_status(kFramebuffer) != kFramebufferComplete) {
    delete_framebuffer(window);
    return false;
  }
  window.fb_width = width;
  window.fb_height = height;
  return true;
}

// The off-screen picture, a texture, drawn as one square over the window's
// picture area with bilinear filtering: a software renderer does this
// markedly faster than a scaling framebuffer blit, with the same sampling.
// Every state the game set is saved and restored around it.
void draw_scaled_picture(const Window& window, const PictureRect& to) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glViewport(to.x0, to.y0, to.x1 - to.x0, to.y1 - to.y0);
  for (GLenum state : {GL_DEPTH_TEST, GL_LIGHTING, GL_BLEND, GL_CULL_FACE, GL_ALPHA_TEST, GL_FOG, GL_SCISSOR_TEST})
    glDisable(state);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, window.color_buffer);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(-1, -1);
  glTexCoord2f(1, 0);
  glVertex2f(1, -1);
  glTexCoord2f(1, 1);
  glVertex2f(1, 1);
  glTexCoord2f(0, 1);
  glVertex2f(-1, 1);
  glEnd();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace

bool desktop_size(int32_t& width, int32_t& height) {
  width = height = 0;
  if (!video_ready()) return false;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
  width = mode.w;
  height = mode.h;
  return true;
}

Window* create_main_window(const char* title, int32_t width, int32_t height) {
  if (!video_ready()) return nullptr;
  if (width <= 0 || height <= 0) {
    width = 640;
    height = 480;
  }
  // The visual is chosen with the window, so the surface request comes first.
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 5);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  SDL_Window* sdl = SDL_CreateWindow(
      title, 0, 0, width, height,
      SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_ALWAYS_ON_TOP);
  if (!sdl) {
    std::fprintf(stderr, "Morvane: no window: %s\n", SDL_GetError());
    return nullptr;
  }
  SDL_ShowWindow(sdl);
  SDL_RaiseWindow(sdl);
  SDL_SetWindowInputFocus(sdl);
  SDL_ShowCursor(SDL_DISABLE);
  auto* window = new Window;
  window->sdl = sdl;
  return window;
}

void destroy_window(Window* window) {
  if (!window) return;
  if (window->context) destroy_gl_context(window);
  SDL_DestroyWindow(window->sdl);
  delete window;
}

void set_window_icon(Window* window, const uint32_t* pixels, int32_t width, int32_t height) {
  if (!window || !pixels || width <= 0 || height <= 0) return;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(pixels), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (!surface) return;
  SDL_SetWindowIcon(window->sdl, surface);
  SDL_FreeSurface(surface);
}

namespace {

bool translate(const SDL_Event& sdl, WindowEvent& event) {
  event = WindowEvent{};
  if (sdl.type == SDL_QUIT) {
    event.type = WindowEventType::Destroy;  // the close box: the window goes away
  } else if (sdl.type == g_close_event && g_close_event != 0) {
    event.type = WindowEventType::Destroy;
  } else if (sdl.type == g_quit_event && g_quit_event != 0) {
    event.type = WindowEventType::Quit;
    event.wparam = static_cast<uint32_t>(sdl.user.code);
  } else if (sdl.type == SDL_WINDOWEVENT) {
    switch (sdl.window.event) {
      case SDL_WINDOWEVENT_SHOWN:
      case SDL_WINDOWEVENT_FOCUS_GAINED:
      case SDL_WINDOWEVENT_RESTORED:
        event.type = WindowEventType::ActivateApp;
        event.wparam = 1;
        break;
      case SDL_WINDOWEVENT_FOCUS_LOST:
      case SDL_WINDOWEVENT_MINIMIZED:
      case SDL_WINDOWEVENT_HIDDEN:
        event.type = WindowEventType::ActivateApp;
        event.wparam = 0;
        break;
      case SDL_WINDOWEVENT_CLOSE:
        event.type = WindowEventType::Destroy;
        break;
      case SDL_WINDOWEVENT_ENTER:
        event.type = WindowEventType::SetCursor;
        break;
      default:
        break;
    }
  } else if (sdl.type == SDL_KEYDOWN && sdl.key.keysym.scancode == SDL_SCANCODE_ESCAPE) {
    event.type = WindowEventType::KeyDown;
    event.wparam = kVirtualKeyEscape;
  }
  return true;
}

}  // namespace

bool take_event(Window*, WindowEvent& event) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  SDL_Event sdl;
  if (!SDL_PollEvent(&sdl)) return false;
  input_devices_record_event(sdl);
  return translate(sdl, event);
}

void wait_event(Window*) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_WaitEvent(nullptr);
}

void wait_event_timeout(Window*, int32_t timeout_ms) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_WaitEventTimeout(nullptr, timeout_ms);
  else SDL_Delay(static_cast<Uint32>(timeout_ms));
}

void post_close(Window*) {
  if (!g_close_event) return;
  SDL_Event sdl{};
  sdl.type = g_close_event;
  SDL_PushEvent(&sdl);
}

void post_quit(int32_t exit_code) {
  if (!g_quit_event) return;
  SDL_Event sdl{};
  sdl.type = g_quit_event;
  sdl.user.code = exit_code;
  SDL_PushEvent(&sdl);
}

void message_box(Window* window, const char* text, const char* caption, MessageIcon icon) {
  Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
  if (icon == MessageIcon::Warning) flags = SDL_MESSAGEBOX_WARNING;
  if (icon == MessageIcon::Error) flags = SDL_MESSAGEBOX_ERROR;
  // Also on the terminal: without a display the box cannot be shown at all.
  std::fprintf(stderr, "%s: %s\n", caption, text);
  if (window) SDL_ShowCursor(SDL_ENABLE);
  SDL_ShowSimpleMessageBox(flags, caption, text, window ? window->sdl : nullptr);
}

bool set_display_mode(Window* window, int32_t width, int32_t height, int32_t bits_per_pixel) {
  if (!window) return false;
  if (bits_per_pixel != 16 || width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;
  if (!SDL_WasInit(SDL_INIT_VIDEO) || invisible_fallback()) return false;
  window->mode_width = width;
  window->mode_height = height;
  return true;
}

void restore_display_mode(Window* window) {
  if (window) {
    delete_framebuffer(*window);
    window->mode_width = window->mode_height = 0;
  }
  SDL_SetRelativeMouseMode(SDL_FALSE);
  SDL_ShowCursor(SDL_ENABLE);
}

bool create_gl_context(Window* window, int32_t, int32_t) {
  if (!window || window->context) return false;
  window->context = SDL_GL_CreateContext(window->sdl);
  if (!window->context) {
    std::fprintf(stderr, "Morvane: no OpenGL context: %s\n", SDL_GetError());
    return false;
  }
  if (SDL_GL_MakeCurrent(window->sdl, window->context) != 0) return false;
  SDL_GL_SetSwapInterval(0);  // until the game chooses its pacing
  int width = window->mode_width, height = window->mode_height;
  int out_width = 0, out_height = 0;
  SDL_GL_GetDrawableSize(window->sdl, &out_width, &out_height);
  if (width <= 0 || height <= 0) width = out_width, height = out_height;
  if (!window->fb.load()) {
    std::fprintf(stderr, "Morvane: no off-screen framebuffers (OpenGL 3.0 or its extension)\n");
    return false;
  }
  // A drawing size that is the window's own needs no copy: the picture goes
  // straight into the window's back buffer.
  if (width == out_width && height == out_height) return true;
  if (!make_framebuffer(*window, width, height)) {
    std::fprintf(stderr, "Morvane: no off-screen framebuffer of %dx%d\n", width, height);
    return false;
  }
  return true;
}

bool destroy_gl_context(Window* window) {
  if (!window || !window->context) return true;
  delete_framebuffer(*window);
  if (SDL_GL_MakeCurrent(window->sdl, nullptr) != 0) return false;
  SDL_GL_DeleteContext(window->context);
  window->context = nullptr;
  return true;
}

PictureRect fit_picture(int32_t width, int32_t height, int32_t out_width, int32_t out_height) {
  if (width <= 0 || height <= 0 || out_width <= 0 || out_height <= 0) return {0, 0, out_width, out_height};
  const int64_t wide = static_cast<int64_t>(out_width) * height;
  const int64_t tall = static_cast<int64_t>(out_height) * width;
  if (wide > tall) {  // the window is wider: bars left and right
    const auto shown = static_cast<int32_t>(tall / height);
    const int32_t x = (out_width - shown) / 2;
    return {x, 0, x + shown, out_height};
  }
  const auto shown = static_cast<int32_t>(wide / width);
  const int32_t y = (out_height - shown) / 2;
  return {0, y, out_width, y + shown};
}

bool set_swap_sync(Window* window, bool on) {
  if (!window || !window->context) return false;
  return SDL_GL_SetSwapInterval(on ? 1 : 0) == 0;
}

int32_t display_refresh_rate(Window* window) {
  if (!window) return 0;
  const int display = SDL_GetWindowDisplayIndex(window->sdl);
  SDL_DisplayMode mode{};
  if (display < 0 || SDL_GetCurrentDisplayMode(display, &mode) != 0) return 0;
  return mode.refresh_rate > 0 ? mode.refresh_rate : 0;
}

void swap_buffers(Window* window) {
  if (!window || !window->context) return;
  int out_width = 0, out_height = 0;
  SDL_GL_GetDrawableSize(window->sdl, &out_width, &out_height);
  if (!window->framebuffer) {
    SDL_GL_SwapWindow(window->sdl);
    // Should the window lose the drawing size (a window manager resized it),
    // the next frames go off screen and are scaled into it.
    const bool resized = window->mode_width > 0 &&
                         (window->mode_width != out_width || window->mode_height != out_height);
    if (resized && !window->resize_failed && !make_framebuffer(*window, window->mode_width, window->mode_height)) {
      std::fprintf(stderr, "Morvane: no off-screen framebuffer of %dx%d\n", window->mode_width,
                   window->mode_height);
      window->resize_failed = true;
    }
    return;
  }
  const PictureRect to = fit_picture(window->fb_width, window->fb_height, out_width, out_height);
  // The off-screen picture is finished before the window's is begun, so at
  // most one frame's drawing is ever in the renderer's hands. Mesa's software
  // renderer (llvmpipe, up to at least 22.3) may otherwise free the off-screen
  // drawing's fence while its last rendering thread is still releasing the
  // fence's lock: starting the window's drawing finds the fence signalled by
  // an unlocked read and drops the drawing, and queueing the window's drawing
  // at the swap drops the fence's last reference. On a busy machine that
  // thread's late unlock writes into freed memory and the heap breaks. The
  // wait costs nothing here: the swap waits for the window's drawing, which
  // the renderer only starts after the off-screen one.
  glFinish();
  window->fb.bind_framebuffer(kFramebuffer, 0);
  // The bars take the game's clear colour, the current one.
  if (to.x0 > 0 || to.y0 > 0 || to.x1 < out_width || to.y1 < out_height) glClear(GL_COLOR_BUFFER_BIT);
  draw_scaled_picture(*window, to);
  SDL_GL_SwapWindow(window->sdl);
  window->fb.bind_framebuffer(kFramebuffer, window->framebuffer);
}

void shut_down() {
  SDL_Quit();
  g_close_event = g_quit_event = 0;
}

}  // namespace platform
