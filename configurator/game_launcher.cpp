#include "configurator/game_launcher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace {

bool regular_file_here(const char* name) {
  struct stat info;
  return ::stat(name, &info) == 0 && S_ISREG(info.st_mode);
}

// A new session detaches the game from the configurator's terminal and
// process group; the signal mask and the dispositions the game starts with
// are the defaults, whatever the dialog's toolkit set.
int prepare_attributes(posix_spawnattr_t& attributes) {
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGPIPE);
  short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  int error = posix_spawnattr_setflags(&attributes, flags);
  if (error == 0) error = posix_spawnattr_setsigmask(&attributes, &none);
  if (error == 0) error = posix_spawnattr_setsigdefault(&attributes, &defaults);
  return error;
}

}  // namespace

std::string start_game_program() {
  posix_spawnattr_t attributes;
  int error = posix_spawnattr_init(&attributes);
  if (error != 0) return std::string(kGameProgram) + " cannot be started: " + std::strerror(error);
  error = prepare_attributes(attributes);
  if (error == 0) {
    std::string local = std::string("./") + kGameProgram;
    char* argv[] = {const_cast<char*>(kGameProgram), nullptr};
    pid_t child = 0;
    if (regular_file_here(kGameProgram))
      error = posix_spawn(&child, local.c_str(), nullptr, &attributes, argv, environ);
    else
      error = posix_spawnp(&child, kGameProgram, nullptr, &attributes, argv, environ);
  }
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return std::string(kGameProgram) + " cannot be started: " + std::strerror(error);
  return {};
}

void reap_game_programs() {
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}
