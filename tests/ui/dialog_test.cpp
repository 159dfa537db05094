// SPDX-License-Identifier: Apache-2.0
// What the dialogs share: their templates as the stub carries them, and where
// a dialog lands when it opens.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <string>
#include <vector>

#include "ui/center_window.h"

namespace {

struct TemplateItem {
  int Id = 0;
  std::wstring Class;
  std::wstring Text;
  RECT Rect{};  // x, y, width, height in dialog units
  DWORD Style = 0;
};

struct DialogTemplate {
  DWORD Style = 0;
  DWORD ExStyle = 0;
  RECT Rect{};
  std::wstring Caption;
  WORD PointSize = 0;
  WORD Weight = 0;
  std::wstring Font;
  std::vector<TemplateItem> Items;
};

// Reads an extended dialog template (DLGTEMPLATEEX) as the dialog manager
// does.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* data) : at_(data) {}

  template <typename T>
  T Read() {
    T value;
    memcpy(&value, at_, sizeof(T));
    at_ += sizeof(T);
    return value;
  }
  // A string, an ordinal (0xFFFF, n) or nothing (0).
  std::wstring ReadNameOrOrdinal() {
    const WORD first = Read<WORD>();
    if (first == 0xFFFF) {
      static const wchar_t* const kPredefined[] = {L"button", L"edit", L"static", L"listbox", L"scrollbar",
                                                   L"combobox"};
      const WORD ordinal = Read<WORD>();
      return ordinal >= 0x80 && ordinal <= 0x85 ? kPredefined[ordinal - 0x80] : L"#" + std::to_wstring(ordinal);
    }
    std::wstring text;
    for (WORD c = first; c != 0; c = Read<WORD>()) text += static_cast<wchar_t>(c);
    return text;
  }
  void AlignToDword(const BYTE* base) {
    while ((at_ - base) % 4 != 0) ++at_;
  }
  RECT ReadRect() {
    RECT r{};
    r.left = Read<short>();
    r.top = Read<short>();
    r.right = Read<short>();
    r.bottom = Read<short>();
    return r;
  }

 private:
  const BYTE* at_;
};

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

DialogTemplate LoadTemplate(int id) {
  DialogTemplate result;
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG);
  if (resource == nullptr) return result;
  const auto* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
  TemplateReader reader(base);
  EXPECT_EQ(reader.Read<WORD>(), 1) << "version of an extended template";
  EXPECT_EQ(reader.Read<WORD>(), 0xFFFF) << "signature of an extended template";
  reader.Read<DWORD>();  // help id
  result.ExStyle = reader.Read<DWORD>();
  result.Style = reader.Read<DWORD>();
  const WORD count = reader.Read<WORD>();
  result.Rect = reader.ReadRect();
  EXPECT_EQ(reader.ReadNameOrOrdinal(), L"") << "no menu";
  EXPECT_EQ(reader.ReadNameOrOrdinal(), L"") << "the standard dialog class";
  result.Caption = reader.ReadNameOrOrdinal();
  result.PointSize = reader.Read<WORD>();
  result.Weight = reader.Read<WORD>();
  reader.Read<BYTE>();  // italic
  reader.Read<BYTE>();  // character set
  result.Font = reader.ReadNameOrOrdinal();
  for (WORD i = 0; i < count; ++i) {
    reader.AlignToDword(base);
    TemplateItem item;
    reader.Read<DWORD>();  // help id
    reader.Read<DWORD>();  // extended style
    item.Style = reader.Read<DWORD>();
    item.Rect = reader.ReadRect();
    item.Id = static_cast<int>(reader.Read<DWORD>());
    item.Class = Lower(reader.ReadNameOrOrdinal());
    item.Text = reader.ReadNameOrOrdinal();
    const WORD extra = reader.Read<WORD>();
    for (WORD b = 0; b < extra; ++b) reader.Read<BYTE>();
    result.Items.push_back(item);
  }
  return result;
}

TEST(DialogTemplates, AreExactlyAsTheStubShowsThem) {
  constexpr DWORD kCommon = WS_POPUP | WS_CAPTION | WS_THICKFRAME | DS_SETFONT | DS_FIXEDSYS;
  struct Row {
    const char* Name;
    int Id;
    DWORD Style;
    RECT Rect;
    std::vector<TemplateItem> Items;
  };
  const Row rows[] = {
      {"language", 223, kCommon | WS_VISIBLE | DS_CENTER, {0, 0, 215, 79},
       {{IDOK, L"button", L"OK", {150, 50, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {1042, L"static", L"Please select a language.", {12, 11, 187, 8}, SS_LEFT | WS_GROUP},
        {1041, L"combobox", L"", {12, 29, 187, 30}, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP}}},
      {"progress", 224, kCommon, {0, 0, 182, 29},
       {{1043, L"msctls_progress32", L"", {12, 11, 157, 7}, WS_BORDER | 0x01 /*smooth*/ | 0x08 /*marquee*/}}},
      {"extract to", 226, kCommon | WS_VISIBLE | DS_CENTER, {0, 0, 311, 78},
       {{IDOK, L"button", L"Extract", {192, 54, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, L"button", L"Cancel", {251, 54, 50, 14}, BS_PUSHBUTTON | WS_TABSTOP},
        {1045, L"button", L"...", {274, 25, 27, 12}, BS_PUSHBUTTON | WS_TABSTOP},
        {1046, L"edit", L"", {10, 25, 255, 12}, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
        {0xFFFF, L"static", L"Extract to:", {10, 12, 35, 8}, SS_LEFT | WS_GROUP}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const DialogTemplate dialog = LoadTemplate(row.Id);
    EXPECT_EQ(dialog.Style, row.Style) << std::hex << dialog.Style;
    EXPECT_EQ(dialog.Style & WS_SYSMENU, 0u) << "no system menu, so no close box";
    EXPECT_EQ(dialog.ExStyle, 0u);
    EXPECT_TRUE(EqualRect(&dialog.Rect, &row.Rect));
    EXPECT_EQ(dialog.Caption, L"###");
    EXPECT_EQ(dialog.Font, L"MS Shell Dlg");
    EXPECT_EQ(dialog.PointSize, 8);
    EXPECT_EQ(dialog.Weight, 400);
    ASSERT_EQ(dialog.Items.size(), row.Items.size()) << "controls in tab order";
    for (std::size_t i = 0; i < row.Items.size(); ++i) {
      const TemplateItem& want = row.Items[i];
      const TemplateItem& got = dialog.Items[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(got.Id & 0xFFFF, want.Id);
      EXPECT_EQ(got.Class, want.Class);
      EXPECT_EQ(got.Text, want.Text);
      EXPECT_TRUE(EqualRect(&got.Rect, &want.Rect));
      EXPECT_EQ(got.Style, want.Style | WS_CHILD | WS_VISIBLE) << std::hex << got.Style;
    }
  }
}

// A window the size of a small dialog, to be placed by CenterWindow.
HWND MakePopup(HWND owner, int width, int height) {
  return CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_CAPTION, 0, 0, width, height, owner, nullptr, nullptr,
                         nullptr);
}

RECT WorkArea(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

TEST(CenterWindow, PlacesOverAVisibleOwnerOrInTheWorkArea) {
  enum class Owner { None, Visible, Hidden, Minimised, NearCorner };
  struct Row {
    const char* Name;
    Owner Kind;
    bool OverOwner;  // else centred in the work area
  };
  const Row rows[] = {
      {"without an owner: the middle of the work area", Owner::None, false},
      {"over a visible owner", Owner::Visible, true},
      {"a hidden owner is ignored", Owner::Hidden, false},
      {"a minimised owner is ignored", Owner::Minimised, false},
      {"an owner in the corner: pushed back inside the work area", Owner::NearCorner, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    HWND owner = nullptr;
    if (row.Kind != Owner::None) {
      owner = CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPEDWINDOW, 100, 80, 500, 300, nullptr, nullptr,
                              nullptr, nullptr);
      ASSERT_NE(owner, nullptr);
      const RECT work = WorkArea(owner);
      if (row.Kind == Owner::NearCorner) SetWindowPos(owner, nullptr, work.right - 120, work.bottom - 60, 0, 0,
                                                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      if (row.Kind == Owner::Minimised) ShowWindow(owner, SW_SHOWMINNOACTIVE);
      if (row.Kind == Owner::Visible || row.Kind == Owner::NearCorner) ShowWindow(owner, SW_SHOWNOACTIVATE);
    }
    HWND window = MakePopup(owner, 360, 140);
    ASSERT_NE(window, nullptr);
    CenterWindow(window);

    RECT placed{};
    GetWindowRect(window, &placed);
    const RECT work = WorkArea(window);
    EXPECT_EQ(placed.right - placed.left, 360) << "the size stays";
    EXPECT_GE(placed.left, work.left);
    EXPECT_GE(placed.top, work.top);
    EXPECT_LE(placed.right, work.right);
    EXPECT_LE(placed.bottom, work.bottom);
    RECT reference = work;
    if (row.OverOwner) GetWindowRect(owner, &reference);
    if (row.Kind == Owner::NearCorner) {
      EXPECT_EQ(placed.right, work.right);
      EXPECT_EQ(placed.bottom, work.bottom);
    } else {
      EXPECT_NEAR((placed.left + placed.right) / 2, (reference.left + reference.right) / 2, 1);
      EXPECT_NEAR((placed.top + placed.bottom) / 2, (reference.top + reference.bottom) / 2, 1);
    }
    DestroyWindow(window);
    if (owner != nullptr) DestroyWindow(owner);
  }
}

}  // namespace
