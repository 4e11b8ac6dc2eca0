// The COM port the operator works with: the number remembered in
// config.ini between runs, how the port box starts out, the port given on
// the command line, and the port text a run is handed. Toolkit-free; the
// dialog applies it to its controls.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelt20 {

// The text of the port box entry at a list position ("1" to "255"): the
// box lists the ports 1 to kHighestComNumber (link/port_path.h), position p
// holding port p + 1.
std::string PortEntryText(int position);

// The number at the start of a text by the rule of atoi: leading white
// space, an optional sign, then digits up to the first non-digit; no digits
// give 0. Values beyond int saturate instead of overflowing.
int LeadingInteger(std::string_view text);

// Key "com" in section "port" of the settings file, by the rule above.
// 0 (no port remembered) when the path is unknown or the key is missing.
int ReadRememberedPort(const std::optional<std::string>& settings_path);

// Writes the port as decimal text, creating the file when missing. A failed
// write, or an unknown path, is passed over silently: the next start then
// reads the old value.
void StoreRememberedPort(const std::optional<std::string>& settings_path, int port);

// What is remembered for a list selection: its port, or 0 for none (-1).
int RememberedPortForSelection(int selected_position);

// How the port box starts: the remembered port selects its entry; a
// command-line port is shown and locks the box until the first run ends;
// otherwise the selected entry is shown, or "1" when there is none.
struct PortBoxStart {
  int selected_position = -1;  // -1: no entry selected
  std::string shown_text;      // Windows-1251
  bool locked = false;
};
PortBoxStart StartPortBox(int remembered_port, const std::string& command_line_port);

// The command-line port: the program's arguments after its name, taken
// whole as one text, joined with single blanks. Empty when there are none.
std::string CommandLinePort(const std::vector<std::string>& arguments_after_name);

// The command-line port on Windows: the raw command line after the program's
// name, as the platform's start-up code hands it to a program. A name that
// starts with a double quote ends at the next one, any other name at the
// first blank or control character; the blanks after the name are skipped
// and the rest is kept whole, trailing blanks and quotes included.
std::wstring_view TextAfterProgramName(std::wstring_view command_line);

// The port text a run gets: at most 79 Windows-1251 characters and a
// terminating zero; a longer text is cut (such a text is never a valid
// port, so the run still rejects it).
class PortText {
 public:
  static constexpr std::size_t kCapacity = 80;

  void Assign(std::string_view cp1251_text);
  const char* CString() const { return buffer_.data(); }

 private:
  std::array<char, kCapacity> buffer_{};
};

}  // namespace zelt20
