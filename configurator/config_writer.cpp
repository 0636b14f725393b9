#include "configurator/config_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

constexpr const char* kLineEnd = "\r\n";

// A number follows its keyword as a blank, the digits and a trailing blank.
void add_number_line(std::string& out, const char* keyword, int32_t value) {
  out += keyword;
  out += ' ';
  out += std::to_string(value);
  out += ' ';
  out += kLineEnd;
}

// Quoted text is written exactly as given; nothing in it is escaped.
void add_text_line(std::string& out, const char* keyword, std::string_view text) {
  out += keyword;
  out += " \"";
  out += text;
  out += '"';
  out += kLineEnd;
}

std::string describe_failure(const std::string& path, int error) {
  return "Cannot write " + path + ": " + std::strerror(error);
}

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The permissions a newly created file would get.
mode_t creation_mode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string format_config(const ConfigValues& values) {
  std::string out;
  out += "MRVN_CONFIG";
  out += kLineEnd;
  out += '\r';  // the line of a lone CR
  out += kLineEnd;
  add_number_line(out, "SET_RESOLUTION", values.resolution_row);
  add_number_line(out, "SET_SOUND", values.sound ? 1 : 0);
  add_number_line(out, "SET_MUSIC", values.music ? 1 : 0);
  add_number_line(out, "SET_PARTICLES", values.particles ? 1 : 0);
  add_text_line(out, "SET_PLAYERNAME", values.player_name);
  out += values.create_game ? "SET_SERVER 1" : "SET_SERVER 0";
  out += kLineEnd;
  add_number_line(out, "SET_NETWORKING", values.network_row);
  add_text_line(out, "SET_IPADDRESS", values.ip_address);
  return out;
}

std::string replace_file(const std::string& path, std::string_view bytes) {
  std::filesystem::path target(path);
  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  std::string temp = (directory / (target.filename().string() + ".XXXXXX")).string();

  int fd = ::mkstemp(temp.data());
  if (fd < 0) return describe_failure(path, errno);
  int error = 0;
  if (::fchmod(fd, creation_mode()) != 0 || !write_all(fd, bytes) || ::fsync(fd) != 0)
    error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return describe_failure(path, error);
  }
  return {};
}
