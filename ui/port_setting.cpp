#include "ui/port_setting.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "core/settings_file.h"
#include "link/port_path.h"

namespace zelt20 {
namespace {

constexpr char kSection[] = "port";
constexpr char kKey[] = "com";

bool IsAtoiBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string PortEntryText(int position) { return std::to_string(position + 1); }

int LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsAtoiBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  const long long value = negative ? -magnitude : magnitude;
  return static_cast<int>(std::clamp(value, static_cast<long long>(INT_MIN),
                                     static_cast<long long>(INT_MAX)));
}

int ReadRememberedPort(const std::optional<std::string>& settings_path) {
  if (!settings_path) return 0;
  return LeadingInteger(ReadSetting(*settings_path, kSection, kKey));
}

void StoreRememberedPort(const std::optional<std::string>& settings_path, int port) {
  if (!settings_path) return;
  WriteSetting(*settings_path, kSection, kKey, std::to_string(port));
}

int RememberedPortForSelection(int selected_position) {
  return selected_position >= 0 ? selected_position + 1 : 0;
}

PortBoxStart StartPortBox(int remembered_port, const std::string& command_line_port) {
  PortBoxStart start;
  if (remembered_port >= 1 && static_cast<std::uint32_t>(remembered_port) <= kHighestComNumber) {
    start.selected_position = remembered_port - 1;
  }
  if (!command_line_port.empty()) {
    start.shown_text = command_line_port;
    start.locked = true;
  } else {
    start.shown_text = PortEntryText(std::max(start.selected_position, 0));
  }
  return start;
}

std::string CommandLinePort(const std::vector<std::string>& arguments_after_name) {
  std::string text;
  for (const std::string& argument : arguments_after_name) {
    if (&argument != &arguments_after_name.front()) text += ' ';
    text += argument;
  }
  return text;
}

std::wstring_view TextAfterProgramName(std::wstring_view command_line) {
  const auto is_blank = [](wchar_t c) { return static_cast<std::uint32_t>(c) <= 0x20; };
  std::size_t i = 0;
  if (!command_line.empty() && command_line.front() == L'"') {
    i = command_line.find(L'"', 1);
    i = i == std::wstring_view::npos ? command_line.size() : i + 1;
  } else {
    while (i < command_line.size() && !is_blank(command_line[i])) ++i;
  }
  while (i < command_line.size() && is_blank(command_line[i])) ++i;
  return command_line.substr(i);
}

void PortText::Assign(std::string_view cp1251_text) {
  const std::size_t length = std::min(cp1251_text.size(), kCapacity - 1);
  std::memcpy(buffer_.data(), cp1251_text.data(), length);
  buffer_[length] = '\0';
}

}  // namespace zelt20
