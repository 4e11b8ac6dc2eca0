// The Win32 window under Wine (on a virtual X display): the resources
// zelt20-installer.exe carries (dialog template 102, the icon,
// the version and the manifest), the dialog as initialisation leaves it,
// the port box from the remembered port, the worker's requests through
// window messages, closing during a run, minimised painting, and the
// program's command-line port. The window runs on a thread of its own, as
// in the program; the test works it from outside through window messages.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/cp1251.h"
#include "core/settings_file.h"
#include "tests/support/release_text.h"
#include "tests/support/remote_worker.h"
#include "tests/support/temp_dir.h"
#include "tests/win32/window_text.h"
#include "ui/win32/dialog_window.h"
#include "ui/win32/resource.h"

namespace zelt20 {
namespace {

using test::RemoteWorker;
namespace steps = test::steps;

using test::TextOf;
using test::kWindowCaption;
const wchar_t kBoxCaption[] = L"Внимание";

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

LONG_PTR StyleOf(HWND window) { return GetWindowLongPtrW(window, GWL_STYLE); }

// The top-level window of a thread or a process with the given class and
// caption, or null.
HWND FindTopLevel(DWORD thread_or_process, bool is_process, const wchar_t* class_name,
                  const wchar_t* caption) {
  struct Search {
    DWORD owner;
    bool is_process;
    const wchar_t* class_name;
    const wchar_t* caption;
    HWND found = nullptr;
  } search{thread_or_process, is_process, class_name, caption};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(context);
        DWORD process = 0;
        const DWORD thread = GetWindowThreadProcessId(window, &process);
        if ((s.is_process ? process : thread) != s.owner || !IsWindowVisible(window)) return TRUE;
        if (ClassOf(window) != s.class_name || TextOf(window) != s.caption) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// ---------------------------------------------------------------------------
// The resources of zelt20-installer.exe, read from the file.

class ProgramResources {
 public:
  ProgramResources()
      : module_(LoadLibraryExW(ZELT20_INSTALLER_PROGRAM, nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ProgramResources() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  ProgramResources(const ProgramResources&) = delete;
  ProgramResources& operator=(const ProgramResources&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  // The bytes of a resource; empty when it is missing.
  std::string Find(const wchar_t* name, const wchar_t* type) const {
    const HRSRC found = FindResourceW(module_, name, type);
    if (found == nullptr) return {};
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    return std::string(data, SizeofResource(module_, found));
  }

 private:
  HMODULE module_;
};

// Reads a DLGTEMPLATEEX the way the dialog manager does.
class TemplateReader {
 public:
  explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
  std::uint16_t Word() { return Take<std::uint16_t>(); }
  std::uint32_t Dword() { return Take<std::uint32_t>(); }
  std::int16_t Short() { return Take<std::int16_t>(); }
  std::uint8_t Byte() { return Take<std::uint8_t>(); }
  std::wstring String() {
    std::wstring text;
    for (wchar_t c = static_cast<wchar_t>(Word()); c != L'\0'; c = static_cast<wchar_t>(Word())) {
      text += c;
    }
    return text;
  }
  // A name or an ordinal; the predefined control classes by their names.
  std::wstring NameOrOrdinal() {
    if (Peek() == 0xFFFF) {
      Word();
      switch (const std::uint16_t ordinal = Word()) {
        case 0x80: return L"Button";
        case 0x81: return L"Edit";
        case 0x82: return L"Static";
        case 0x85: return L"ComboBox";
        default: return L"#" + std::to_wstring(ordinal);
      }
    }
    return String();
  }
  void AlignToDword() { offset_ = (offset_ + 3) & ~std::size_t{3}; }
  void Skip(std::size_t count) { offset_ += count; }

 private:
  std::uint16_t Peek() {
    std::uint16_t value = 0;
    if (offset_ + 2 <= bytes_.size()) std::memcpy(&value, bytes_.data() + offset_, 2);
    return value;
  }
  template <typename T>
  T Take() {
    T value{};
    if (offset_ + sizeof(T) <= bytes_.size()) std::memcpy(&value, bytes_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }
  const std::string& bytes_;
  std::size_t offset_ = 0;
};

struct ControlTemplate {
  std::uint32_t id;
  std::wstring class_name;
  RECT units;  // left, top, width, height in dialog units
  DWORD style;
  std::wstring text;
};

// The six controls of template 102, in tab order.
const ControlTemplate kControls[] = {
    {IDOK, L"Button", {236, 7, 39, 15}, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, L"OK"},
    {IDCANCEL, L"Button", {236, 26, 39, 15}, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
     L"Cancel"},
    {IDC_PROGRESS, L"msctls_progress32", {4, 119, 227, 7}, WS_CHILD | WS_VISIBLE | WS_BORDER, L""},
    {IDC_LOG, L"Edit", {4, 4, 227, 111},
     WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
         ES_AUTOHSCROLL,
     L""},
    {IDC_PORT_BOX, L"ComboBox", {238, 58, 37, 50},
     WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN, L""},
    {0xFFFFFFFF, L"Static", {245, 48, 18, 8}, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, L"COM"},
};

TEST(ProgramResources, DialogTemplateIsAsWritten) {
  const ProgramResources program;
  ASSERT_TRUE(program.Loaded());
  const std::string bytes = program.Find(MAKEINTRESOURCEW(IDD_MAIN_DIALOG), RT_DIALOG);
  ASSERT_FALSE(bytes.empty());
  TemplateReader reader(bytes);
  EXPECT_EQ(reader.Word(), 1);       // version
  EXPECT_EQ(reader.Word(), 0xFFFF);  // extended template
  reader.Dword();                    // help id
  EXPECT_EQ(reader.Dword(), DWORD{WS_EX_APPWINDOW});
  EXPECT_EQ(reader.Dword(), DWORD{DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION |
                                  WS_SYSMENU | WS_MINIMIZEBOX});
  const std::uint16_t count = reader.Word();
  EXPECT_EQ(count, std::size(kControls));
  const std::int16_t x = reader.Short(), y = reader.Short(), cx = reader.Short(), cy = reader.Short();
  EXPECT_EQ((std::vector<int>{x, y, cx, cy}), (std::vector<int>{0, 0, 279, 129}));
  EXPECT_EQ(reader.NameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(reader.NameOrOrdinal(), L"");  // the dialog class
  reader.String();                         // the caption, a placeholder
  EXPECT_EQ(reader.Word(), 8);             // points
  reader.Word();                           // weight
  reader.Byte();                           // italic
  reader.Byte();                           // character set
  EXPECT_EQ(reader.String(), L"MS Sans Serif");

  for (std::size_t i = 0; i < count && i < std::size(kControls); ++i) {
    const ControlTemplate& expected = kControls[i];
    SCOPED_TRACE(expected.id);
    reader.AlignToDword();
    reader.Dword();                      // help id
    EXPECT_EQ(reader.Dword(), 0u);       // extended style
    EXPECT_EQ(reader.Dword(), expected.style);
    const std::int16_t left = reader.Short(), top = reader.Short(), width = reader.Short(),
                       height = reader.Short();
    EXPECT_EQ((std::vector<LONG>{left, top, width, height}),
              (std::vector<LONG>{expected.units.left, expected.units.top, expected.units.right,
                                 expected.units.bottom}));
    EXPECT_EQ(reader.Dword(), expected.id);
    EXPECT_EQ(_wcsicmp(reader.NameOrOrdinal().c_str(), expected.class_name.c_str()), 0);
    EXPECT_EQ(reader.NameOrOrdinal(), expected.text);
    reader.Skip(reader.Word());          // creation data
  }
}

TEST(ProgramResources, IconVersionAndManifest) {
  const ProgramResources program;
  ASSERT_TRUE(program.Loaded());

  // One 32 x 32 image in 256 colours.
  const std::string group = program.Find(MAKEINTRESOURCEW(IDR_MAINFRAME), RT_GROUP_ICON);
  ASSERT_EQ(group.size(), 6u + 14u);
  TemplateReader icon(group);
  icon.Word();
  EXPECT_EQ(icon.Word(), 1);  // icons
  EXPECT_EQ(icon.Word(), 1);  // one image
  EXPECT_EQ(icon.Byte(), 32);
  EXPECT_EQ(icon.Byte(), 32);
  EXPECT_EQ(icon.Byte(), 0);  // 0 colours: 256
  icon.Byte();
  icon.Word();
  EXPECT_EQ(icon.Word(), 8);  // bits per pixel

  // File version 0.0.0.0, product version 2, 3, 22, 0, US English.
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(ZELT20_INSTALLER_PROGRAM, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> version(size);
  ASSERT_TRUE(GetFileVersionInfoW(ZELT20_INSTALLER_PROGRAM, 0, size, version.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, DWORD{MAKELONG(3, 2)});
  EXPECT_EQ(fixed->dwProductVersionLS, DWORD{MAKELONG(0, 22)});
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  wchar_t* product_version = nullptr;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                             reinterpret_cast<void**>(&product_version), &length));
  EXPECT_EQ(std::wstring(product_version), L"2, 3, 22, 0");

  // Nothing but the manifest version: no newer controls, no other claims.
  EXPECT_EQ(program.Find(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>\n");
}

// ---------------------------------------------------------------------------
// The window, from this test's own resources (the same script).

class OpenWindow {
 public:
  explicit OpenWindow(std::optional<std::string> stored = std::nullopt,
                      std::string command_line = {}) {
    if (stored) test::TempDir::Write(settings_path_, "[port]\r\ncom=" + *stored + "\r\n");
    thread_ = std::thread([this, setup = MainDialog::Setup{worker->Worker(), std::move(command_line),
                                                           settings_path_, MainDialog::kCloseWait}] {
      thread_id_ = GetCurrentThreadId();
      DialogWindow window(GetModuleHandleW(nullptr), setup);
      window.DoModal();
      left_worker_running_ = window.LeftWorkerRunning();
      closed_ = true;
    });
    test::WaitUntil([this] {
      dialog = thread_id_ == 0 ? nullptr : FindTopLevel(thread_id_, false, L"#32770", kWindowCaption);
      return dialog != nullptr;
    });
  }
  ~OpenWindow() {
    if (!closed_ && dialog != nullptr) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    thread_.join();
  }
  OpenWindow(const OpenWindow&) = delete;
  OpenWindow& operator=(const OpenWindow&) = delete;

  HWND Control(int id) const { return GetDlgItem(dialog, id); }
  // A click as the button's own notification brings it.
  void Click(int id) const {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(id)));
  }
  // A key pressed where the focus is; the dialog manager routes it.
  void Press(WORD key) const {
    PostMessageW(Focus(), WM_KEYDOWN, key, 0);
    PostMessageW(Focus(), WM_KEYUP, key, 0xC0000000);
  }
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(thread_id_, &info);
    return info.hwndFocus;
  }
  HWND Box() const { return FindTopLevel(thread_id_, false, L"#32770", kBoxCaption); }
  bool Closed() const { return closed_; }
  bool WaitUntilClosed() const {
    return test::WaitUntil([this] { return closed_.load(); });
  }
  // Waits until the window thread has taken every message posted to it so
  // far (a marker posted behind them moves the progress bar), or closed.
  bool WaitUntilTaken() const {
    constexpr int kMarker = 77;
    PostMessageW(Control(IDC_PROGRESS), PBM_SETPOS, kMarker, 0);
    return test::WaitUntil([this] {
      return closed_ || SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0) == kMarker;
    });
  }
  bool LeftWorkerRunning() const { return left_worker_running_; }
  std::string Stored() const { return ReadSetting(settings_path_, "port", "com"); }
  std::string Log() const { return Cp1251ToUtf8(Cp1251FromPane()); }

  std::shared_ptr<RemoteWorker> worker = std::make_shared<RemoteWorker>(test::WaitUntil);
  HWND dialog = nullptr;

 private:
  std::string Cp1251FromPane() const {
    const std::wstring text = TextOf(Control(IDC_LOG));
    std::string utf8(text.size() * 3 + 1, '\0');
    utf8.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(),
                            static_cast<int>(utf8.size()), nullptr, nullptr)));
    return Utf8ToCp1251(utf8);
  }

  test::TempDir folder_;
  std::string settings_path_ = folder_.File("config.ini");
  std::thread thread_;
  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> closed_{false};
  std::atomic<bool> left_worker_running_{false};
};

TEST(Win32Dialog, OpensAsInitialisationLeavesIt) {
  OpenWindow window;
  ASSERT_NE(window.dialog, nullptr);
  EXPECT_EQ(GetWindowLongPtrW(window.dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, WS_EX_APPWINDOW);
  const LONG_PTR frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                         WS_THICKFRAME;
  EXPECT_EQ(StyleOf(window.dialog) & frame, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  RECT place;
  GetWindowRect(window.dialog, &place);
  EXPECT_EQ(place.left, 0);
  EXPECT_EQ(place.top, 0);
  RECT size{0, 0, 279, 129};
  MapDialogRect(window.dialog, &size);
  RECT client;
  GetClientRect(window.dialog, &client);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  // Every control where the template puts it, in dialog units mapped with
  // the dialog's font, with its styles; the log pane now read-only.
  HWND control = GetWindow(window.dialog, GW_CHILD);
  for (const ControlTemplate& expected : kControls) {
    SCOPED_TRACE(expected.id);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(LOWORD(GetDlgCtrlID(control)), LOWORD(expected.id));
    EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), expected.class_name.c_str()), 0);
    RECT units = expected.units;  // each of x, y, width, height on its own, as the dialog does
    MapDialogRect(window.dialog, &units);
    RECT placed;
    GetWindowRect(control, &placed);
    MapWindowPoints(nullptr, window.dialog, reinterpret_cast<POINT*>(&placed), 2);
    const bool port_box = expected.id == IDC_PORT_BOX;
    EXPECT_EQ((std::vector<LONG>{placed.left, placed.top, placed.right - placed.left}),
              (std::vector<LONG>{units.left, units.top, units.right}));
    if (!port_box) {
      EXPECT_EQ(placed.bottom - placed.top, units.bottom);
    }

    // A control's border becomes the platform's own edge or frame (its
    // styles differ there, so the template's test checks the border); a
    // port box hands its scroll bar to its list.
    DWORD style = static_cast<DWORD>(StyleOf(control)) & ~DWORD{WS_BORDER};
    if (port_box) {
      COMBOBOXINFO box{};
      box.cbSize = sizeof box;
      ASSERT_TRUE(GetComboBoxInfo(control, &box));
      style |= static_cast<DWORD>(StyleOf(box.hwndList)) & WS_VSCROLL;
      // The height includes the dropped list. Windows reports the box and
      // its list as one rectangle; Wine reports the list's height alone
      // below the box's top. Only the bounds hold on both; the template's
      // own test checks the 50 units.
      RECT dropped;
      SendMessageW(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      EXPECT_GT(dropped.bottom - dropped.top, placed.bottom - placed.top);
      EXPECT_LE(dropped.bottom - dropped.top, units.bottom);
    }
    const DWORD read_only = expected.id == IDC_LOG ? ES_READONLY : 0;
    EXPECT_EQ(style, (expected.style | read_only) & ~DWORD{WS_BORDER});
    control = GetWindow(control, GW_HWNDNEXT);
  }
  // The tab order: Start, Stop/Exit, the log pane, the port box, round again.
  HWND stop = window.Control(IDOK);
  for (const int id : {IDCANCEL, IDC_LOG, IDC_PORT_BOX, IDOK}) {
    stop = GetNextDlgTabItem(window.dialog, stop, FALSE);
    EXPECT_EQ(stop, window.Control(id)) << id;
  }

  EXPECT_EQ(TextOf(window.dialog), kWindowCaption);
  EXPECT_EQ(TextOf(window.Control(IDOK)), L"Запись");
  EXPECT_EQ(TextOf(window.Control(IDCANCEL)), L"Выход");
  EXPECT_EQ(SendMessageW(window.dialog, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
  EXPECT_EQ(window.Focus(), window.Control(IDOK));
  EXPECT_EQ(window.Log(), test::ReleaseLine());
  EXPECT_EQ(SendMessageW(window.Control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageW(window.Control(IDC_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);

  const HWND box = window.Control(IDC_PORT_BOX);
  ASSERT_EQ(SendMessageW(box, CB_GETCOUNT, 0, 0), 255);
  for (int position = 0; position < 255; ++position) {
    wchar_t entry[8] = {};
    SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(entry));
    ASSERT_EQ(std::wstring(entry), std::to_wstring(position + 1));
  }

  // The application icon: the small icon and the one dragged, 32 x 32.
  const auto icon = reinterpret_cast<HICON>(SendMessageW(window.dialog, WM_GETICON, ICON_SMALL, 0));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window.dialog, WM_QUERYDRAGICON, 0, 0)), icon);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP image{};
  GetObjectW(info.hbmColor, sizeof image, &image);
  EXPECT_EQ(image.bmWidth, 32);
  EXPECT_EQ(image.bmHeight, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
}

// The box from the remembered port; closing at once writes the selection
// back: the same port, or 0 when none is selected.
TEST(Win32Dialog, PortBoxFromTheRememberedPort) {
  struct Case {
    std::optional<std::string> stored;
    LRESULT selected;
    std::wstring shown;
    std::string written;
  };
  const Case cases[] = {{std::nullopt, CB_ERR, L"1", "0"},
                        {"0", CB_ERR, L"1", "0"},
                        {"7", 6, L"7", "7"},
                        {"300", CB_ERR, L"1", "0"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored.value_or("no config.ini"));
    OpenWindow window(c.stored);
    const HWND box = window.Control(IDC_PORT_BOX);
    EXPECT_EQ(SendMessageW(box, CB_GETCURSEL, 0, 0), c.selected);
    EXPECT_EQ(TextOf(box), c.shown);
    EXPECT_TRUE(IsWindowEnabled(box));
    window.Click(IDCANCEL);
    ASSERT_TRUE(window.WaitUntilClosed());
    EXPECT_EQ(window.Stored(), c.written);
  }
}

TEST(Win32Dialog, CommandLinePortLocksTheBoxUntilTheRunEnds) {
  OpenWindow window("7", "5 ");
  const HWND box = window.Control(IDC_PORT_BOX);
  EXPECT_EQ(TextOf(box), L"5 ");
  EXPECT_EQ(SendMessageW(box, CB_GETCURSEL, 0, 0), 6);
  EXPECT_FALSE(IsWindowEnabled(box));
  window.Press(VK_RETURN);  // Enter: Start
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  EXPECT_EQ(window.worker->PortTexts().back(), "5 ");
  EXPECT_FALSE(IsWindowEnabled(window.Control(IDOK)));
  EXPECT_EQ(TextOf(window.Control(IDCANCEL)), L"Стоп");
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
  EXPECT_TRUE(IsWindowEnabled(box));
  EXPECT_TRUE(IsWindowEnabled(window.Control(IDOK)));
  EXPECT_EQ(TextOf(window.Control(IDCANCEL)), L"Выход");
  EXPECT_EQ(window.Focus(), window.Control(IDCANCEL));
  window.Press(VK_ESCAPE);
  ASSERT_TRUE(window.WaitUntilClosed());
  EXPECT_EQ(window.Stored(), "7");
}

// The worker's requests, each carried out on the window thread before the
// worker goes on: the log pane shows the whole text, all selected, with
// its last line in view, and the progress bar takes the position.
TEST(Win32Dialog, LogAndProgressFromTheWorker) {
  OpenWindow window;
  window.Click(IDOK);
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  ASSERT_TRUE(window.worker->Do(steps::PortOpened()));
  ASSERT_TRUE(window.worker->Do([](RunContext& run) {
    for (int line = 0; line < 40; ++line) run.AppendLog("строка журнала\r\n"_cp1251);
    run.AppendLog("последняя строка"_cp1251);
    run.SetProgressPosition(42);
  }));
  const HWND pane = window.Control(IDC_LOG);
  EXPECT_TRUE(window.Log().ends_with("строка журнала\r\nпоследняя строка"));
  DWORD from = 1, to = 0;
  SendMessageW(pane, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, static_cast<DWORD>(TextOf(pane).size()));
  // The release line, the two lines of the opened port, 40 lines, the last:
  // more than the pane shows at once.
  const LRESULT lines = SendMessageW(pane, EM_GETLINECOUNT, 0, 0);
  EXPECT_EQ(lines, 44);
  EXPECT_GT(SendMessageW(pane, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  RECT client;
  GetClientRect(pane, &client);
  const LRESULT last_shown = HIWORD(SendMessageW(
      pane, EM_CHARFROMPOS, 0, MAKELPARAM(client.left + 2, client.bottom - 2)));
  EXPECT_GE(last_shown, lines - 1);
  EXPECT_EQ(SendMessageW(window.Control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 42);
  ASSERT_TRUE(window.worker->Finish(steps::ClosingEnd()));
  EXPECT_EQ(SendMessageW(window.Control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 42);
}

// A confirmation box owned by the dialog, OK and Cancel with the warning
// icon, the dialog taking no input while it is open; only OK confirms.
TEST(Win32Dialog, ConfirmationBoxOnlyOkConfirms) {
  OpenWindow window;
  window.Click(IDOK);
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  ASSERT_TRUE(window.worker->Do(steps::PortOpened()));
  struct Answer {
    const char* name;
    bool confirms;
  };
  for (const Answer answer : {Answer{"OK", true}, Answer{"Cancel", false},
                              Answer{"Escape", false}, Answer{"close box", false}}) {
    SCOPED_TRACE(answer.name);
    bool confirmed = !answer.confirms;
    window.worker->PostStep([&confirmed](RunContext& run) {
      confirmed = run.AskConfirmation(
          "Внимание!!! Процесс смены версии ПО длится 5-7 минут.\r\n"
          "В это время абоненты станции не обслуживаются."_cp1251,
          "Внимание"_cp1251);
    });
    HWND box = nullptr;
    ASSERT_TRUE(test::WaitUntil([&window, &box] { return (box = window.Box()) != nullptr; }));
    EXPECT_EQ(GetWindow(box, GW_OWNER), window.dialog);
    EXPECT_FALSE(IsWindowEnabled(window.dialog));
    std::wstring message, buttons;
    bool warning_icon = false;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (!IsWindowVisible(child)) continue;
      if (ClassOf(child) == L"Button") {
        buttons += L"[" + TextOf(child) + L"]";
      } else if ((StyleOf(child) & SS_TYPEMASK) == SS_ICON) {
        warning_icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) ==
                       LoadIconW(nullptr, IDI_WARNING);
      } else {
        message += TextOf(child);
      }
    }
    EXPECT_TRUE(warning_icon);
    EXPECT_EQ(buttons, L"[OK][Cancel]");
    EXPECT_EQ(message,
              L"Внимание!!! Процесс смены версии ПО длится 5-7 минут.\r\n"
              L"В это время абоненты станции не обслуживаются.");
    if (answer.name == std::string("OK")) {
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    } else if (answer.name == std::string("Cancel")) {
      PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    } else if (answer.name == std::string("Escape")) {
      window.Press(VK_ESCAPE);
    } else {
      PostMessageW(box, WM_CLOSE, 0, 0);
    }
    ASSERT_TRUE(window.worker->Do([](RunContext&) {}));
    EXPECT_EQ(confirmed, answer.confirms);
    EXPECT_TRUE(IsWindowEnabled(window.dialog));
  }
  ASSERT_TRUE(window.worker->Finish(steps::ClosingEnd()));
}

// Stop during a run that opened the port asks for a stop and keeps the
// window; the run's end leaves only Exit, with the focus on it. Start stays
// the default button, so Enter goes to the disabled Start and does nothing;
// a click on Stop/Exit closes.
TEST(Win32Dialog, StopThenExit) {
  OpenWindow window;
  window.Click(IDOK);
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  ASSERT_TRUE(window.worker->Do(steps::PortOpened()));
  window.Click(IDCANCEL);
  EXPECT_EQ(TextOf(window.Control(IDCANCEL)), L"Выход");
  EXPECT_FALSE(window.Closed());
  bool stop_seen = false;
  ASSERT_TRUE(window.worker->Do([&stop_seen](RunContext& run) { stop_seen = run.StopRequested(); }));
  EXPECT_TRUE(stop_seen);
  ASSERT_TRUE(window.worker->Finish(steps::ClosingEnd()));
  EXPECT_FALSE(IsWindowEnabled(window.Control(IDOK)));
  EXPECT_TRUE(IsWindowEnabled(window.Control(IDC_PORT_BOX)));
  EXPECT_EQ(window.Focus(), window.Control(IDCANCEL));
  window.Press(VK_RETURN);
  ASSERT_TRUE(window.WaitUntilTaken());
  EXPECT_FALSE(window.Closed());
  window.Click(IDCANCEL);
  ASSERT_TRUE(window.WaitUntilClosed());
  EXPECT_EQ(window.worker->PortTexts().size(), 1u);
}

// Closing while the worker's requests keep coming: the window lets go of
// the dialog first and still takes the requests already sent, so neither
// side waits for the other and the worker is not left behind.
TEST(Win32Dialog, ClosingWhileTheWorkerSendsRequests) {
  OpenWindow window;
  window.Click(IDOK);
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  ASSERT_TRUE(window.worker->Do(steps::PortOpened()));
  window.Click(IDCANCEL);  // Stopping
  bool confirmed = true;
  window.worker->PostFinish([&confirmed](RunContext& run) {
    for (int line = 0; line < 100; ++line) run.AppendLog("ещё строка\r\n"_cp1251);
    confirmed = run.AskConfirmation("текст"_cp1251, "Внимание"_cp1251);
    steps::ClosingEnd()(run);
  });
  window.Click(IDCANCEL);
  ASSERT_TRUE(window.WaitUntilClosed());
  EXPECT_FALSE(window.LeftWorkerRunning());
  EXPECT_FALSE(window.worker->Running());
  EXPECT_FALSE(confirmed);
}

// What the dialog did with the last WM_PAINT: whether it was minimised
// then, and how often it erased the icon's background.
std::atomic<bool> painted_minimised{false};
std::atomic<int> icon_erasures{0};
WNDPROC painted_window_proc = nullptr;

LRESULT CALLBACK WatchPainting(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    painted_minimised = IsIconic(window) != FALSE;
    icon_erasures = 0;
  }
  if (message == WM_ICONERASEBKGND) ++icon_erasures;
  return CallWindowProcW(painted_window_proc, window, message, wparam, lparam);
}

// Minimised, painting erases the icon's background and draws the icon;
// shown, the window paints as any dialog. Wine without a window manager
// gives a minimised window nothing to draw on, and may undo the
// minimising when it next hears from the X server, so the test minimises
// until a paint comes while the window is minimised.
TEST(Win32Dialog, MinimisedPaintingGoesToTheIcon) {
  OpenWindow window;
  painted_window_proc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      window.dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatchPainting)));
  SendMessageW(window.dialog, WM_PAINT, 0, 0);
  EXPECT_FALSE(painted_minimised);
  EXPECT_EQ(icon_erasures, 0);
  bool seen_minimised = false;
  for (int attempt = 0; attempt < 50 && !seen_minimised; ++attempt) {
    ShowWindow(window.dialog, SW_MINIMIZE);
    SendMessageW(window.dialog, WM_PAINT, 0, 0);
    seen_minimised = painted_minimised;
    EXPECT_EQ(icon_erasures, seen_minimised ? 1 : 0);
  }
  EXPECT_TRUE(seen_minimised);
  ShowWindow(window.dialog, SW_RESTORE);
  SetWindowLongPtrW(window.dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(painted_window_proc));
}

// The program itself, started as "zelt20-installer.exe 5 ": the raw text
// after its name, trailing blank and all, locks the box; the run refuses it
// as a wrong port number and unlocks the box; closing stores the port in
// the config.ini beside the program.
TEST(Win32Program, CommandLinePortIsTakenWholeAndRefused) {
  test::TempDir folder;
  const std::filesystem::path program = folder.Path() / "zelt20-installer.exe";
  std::filesystem::copy_file(ZELT20_INSTALLER_PROGRAM, program);
  std::wstring command_line = L"zelt20-installer.exe 5 ";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, folder.Path().c_str(), &startup, &process));
  HWND dialog = nullptr;
  EXPECT_TRUE(test::WaitUntil([&process, &dialog] {
    dialog = FindTopLevel(process.dwProcessId, true, L"#32770", kWindowCaption);
    return dialog != nullptr;
  }));
  if (dialog != nullptr) {
    const HWND box = GetDlgItem(dialog, IDC_PORT_BOX);
    EXPECT_EQ(TextOf(box), L"5 ");
    EXPECT_FALSE(IsWindowEnabled(box));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(test::WaitUntil([box] { return IsWindowEnabled(box) != FALSE; }));
    const std::u16string log = Cp1251ToUtf16(
        Utf8ToCp1251(test::ReleaseLine() + "\r\nОшибка: неправильный номер COM порта!\r\n"));
    EXPECT_EQ(TextOf(GetDlgItem(dialog, IDC_LOG)), std::wstring(log.begin(), log.end()));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  EXPECT_EQ(exit_code, 0u);
  if (exit_code != 0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(ReadSetting((folder.Path() / "config.ini").string(), "port", "com"), "0");
}

}  // namespace
}  // namespace zelt20
