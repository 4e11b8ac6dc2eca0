// The main dialog's layout against the template the Windows window is made
// of, read from the resource script as the resource compiler reads it.
#include "ui/dialog_layout.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace zelt20 {
namespace {

using Numbers = std::vector<int>;

std::string FileText(const char* path) {
  std::ifstream file(path);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Groups first to last of a match, as numbers.
Numbers NumbersOf(const std::smatch& match, std::size_t first, std::size_t last) {
  Numbers numbers;
  for (std::size_t group = first; group <= last; ++group) {
    numbers.push_back(std::stoi(match[group]));
  }
  return numbers;
}

// Template 102 as it stands in the script: the window's place and size, the
// font, and each control's id and place, in the script's order.
struct DialogTemplate {
  Numbers window;
  int font_points = 0;
  std::string font_name;
  std::vector<Numbers> controls;
};

DialogTemplate ReadMainTemplate() {
  // Ids by name: the resource header's, and the two the system's headers
  // give every dialog.
  std::map<std::string, int> ids{{"IDOK", 1}, {"IDCANCEL", 2}};
  const std::string header = FileText(ZELT20_WIN32_UI_DIR "/resource.h");
  const std::regex define(R"(#define\s+(\w+)\s+(-?\d+))");
  for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it) {
    ids[(*it)[1]] = std::stoi((*it)[2]);
  }
  const auto id_of = [&ids](const std::string& token) {
    return ids.contains(token) ? ids.at(token) : std::stoi(token);
  };

  const std::string script = FileText(ZELT20_WIN32_UI_DIR "/zelt20-installer.rc");
  const std::regex dialog(R"re((\w+)\s+DIALOGEX\s+(\d+),\s*(\d+),\s*(\d+),\s*(\d+)\s[\s\S]*?)re"
                          R"re(FONT\s+(\d+),\s*"([^"]*)"[\s\S]*?\nBEGIN\n([\s\S]*?)\nEND\n)re");
  const std::regex control(
      R"re(CONTROL\s+"[^"]*",\s*(-?\w+),\s*"[^"]*",[^,]*,\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))re");
  for (std::sregex_iterator it(script.begin(), script.end(), dialog), end; it != end; ++it) {
    const std::smatch& found = *it;
    if (id_of(found[1]) != 102) continue;
    DialogTemplate result{NumbersOf(found, 2, 5), std::stoi(found[6]), found[7], {}};
    const std::string body = found[8];
    for (std::sregex_iterator c(body.begin(), body.end(), control); c != end; ++c) {
      result.controls.push_back(NumbersOf(*c, 2, 5));
      result.controls.back().insert(result.controls.back().begin(), id_of((*c)[1]));
    }
    return result;
  }
  ADD_FAILURE() << "no template 102 in the resource script";
  return {};
}

Numbers NumbersOf(const dialog_layout::Rect& rect) {
  return {rect.x, rect.y, rect.width, rect.height};
}

TEST(DialogLayout, WindowAndFontAreTheTemplates) {
  const DialogTemplate resource = ReadMainTemplate();
  EXPECT_EQ(resource.window, NumbersOf(dialog_layout::kWindow));
  EXPECT_EQ(resource.font_points, dialog_layout::kFontPoints);
  EXPECT_EQ(resource.font_name, dialog_layout::kFontName);
}

TEST(DialogLayout, ControlsAreTheTemplatesInItsOrder) {
  using namespace dialog_layout;
  std::vector<Numbers> layout;
  // In the template's order, which is the tab order.
  for (const Control& control : {kStart, kStopExit, kProgress, kLogPane, kPortBox, kComLabel}) {
    layout.push_back(NumbersOf(control.rect));
    layout.back().insert(layout.back().begin(), control.id);
  }
  EXPECT_EQ(ReadMainTemplate().controls, layout);
}

}  // namespace
}  // namespace zelt20
