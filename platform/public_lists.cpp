#include "platform/public_lists.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

namespace {

bool space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool host_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
         c == '_';
}

// "host:port" or "host", with nothing else in it.
bool list_entry(std::string_view entry, ListAddress& address) {
  std::string_view host = entry;
  address.port = kDefaultListPort;
  if (const std::size_t colon = entry.find(':'); colon != std::string_view::npos) {
    host = entry.substr(0, colon);
    const std::string_view digits = entry.substr(colon + 1);
    if (digits.empty() || digits.size() > 5) return false;
    uint32_t port = 0;
    for (const char c : digits) {
      if (c < '0' || c > '9') return false;
      port = port * 10 + static_cast<uint32_t>(c - '0');
    }
    if (port < 1 || port > 65535) return false;
    address.port = static_cast<uint16_t>(port);
  }
  if (host.empty() || host.size() >= sizeof address.host) return false;
  for (const char c : host)
    if (!host_character(c)) return false;
  std::memcpy(address.host, host.data(), host.size());
  address.host[host.size()] = '\0';
  return true;
}

}  // namespace

ListAddresses parse_list_addresses(std::string_view text, ListLineWarning warn, void* context) {
  ListAddresses out;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    while (!line.empty() && space(line.front())) line.remove_prefix(1);
    while (!line.empty() && space(line.back())) line.remove_suffix(1);
    if (line.empty()) continue;
    const char* why = nullptr;
    ListAddress address;
    if (line.size() >= kListAddressSize)
      why = "the line is too long to be a list's address";
    else if (!list_entry(line, address))
      why = "not an address of the form host:port or host (port 1 to 65535)";
    else if (out.count == out.lists.size())
      why = "too many lists: only the first 8 are used";
    if (why) {
      if (warn) warn(context, number, why);
      continue;
    }
    out.lists[out.count++] = address;
  }
  return out;
}

bool read_list_addresses(const char* path, ListAddresses& lists, ListLineWarning warn, void* context) {
  lists = ListAddresses{};
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  std::string text(kMaxListsFile + 1, '\0');
  const std::size_t read = std::fread(text.data(), 1, text.size(), file);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return false;
  text.resize(read);
  const bool cut = read > kMaxListsFile;
  if (cut) {
    // Only whole lines: a line cut short could name another port.
    const std::size_t last = text.rfind('\n', kMaxListsFile - 1);
    text.resize(last == std::string::npos ? 0 : last + 1);
  }
  lists = parse_list_addresses(text, warn, context);
  if (cut && warn) {
    int next_line = 1;
    for (const char c : text) next_line += c == '\n';
    warn(context, next_line, "the file is longer than 64 KiB: this line and the rest are left out");
  }
  return true;
}

}  // namespace platform
