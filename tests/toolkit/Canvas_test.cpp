// GDI lifetimes: the process's GDI objects stay flat over a thousand paints of the about banner
// and of an owner-drawn list, no font is deleted while a DC still has it selected, and bitmaps
// that cannot be made are reported.
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <cstring>

#include "ToolkitTestSupport.h"
#include "ui/Info.h"

namespace {

using namespace toolkit;
using tktest::AppTest;

// The GDI objects this process owns. Windows counts them for GetGuiResources; Wine answers 0
// there, but keeps the handle table that the process environment block points to (entries of
// 24 bytes: object, owner process, count, unique, type, flags, user pointer).
int GdiObjects() {
  if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<int>(n);
#pragma pack(push, 1)
  struct Entry {
    uint64_t object;
    uint16_t process, count, unique;
    uint8_t type, flags;
    uint64_t user;
  };
#pragma pack(pop)
  auto* teb = reinterpret_cast<uint8_t*>(NtCurrentTeb());
  auto* peb = *reinterpret_cast<uint8_t**>(teb + (sizeof(void*) == 8 ? 0x60 : 0x30));
  auto* table = *reinterpret_cast<const Entry**>(peb + (sizeof(void*) == 8 ? 0xF8 : 0x94));
  if (!table && sizeof(void*) == 4) {
    // A 32-bit process in a 64-bit prefix: the table hangs at the 64-bit PEB, which the 64-bit
    // TEB names; the TEB's WowTebOffset (0xFDC) leads there.
    const int32_t wowTeb = *reinterpret_cast<const int32_t*>(teb + 0xFDC);
    if (wowTeb != 0) {
      const uint64_t peb64 = *reinterpret_cast<const uint64_t*>(teb + wowTeb + 0x60);
      table = reinterpret_cast<const Entry*>(
          static_cast<uintptr_t>(*reinterpret_cast<const uint64_t*>(static_cast<uintptr_t>(peb64) + 0xF8)));
    }
  }
  if (!table) return -1;
  const auto self = static_cast<uint16_t>(GetCurrentProcessId());
  int n = 0;
  for (int i = 0; i < 16384; ++i)
    if (table[i].type != 0 && (table[i].process == 0 || table[i].process == self)) ++n;
  return n;
}

// While alive, the program's import of DeleteObject counts the objects deleted while they are
// still selected into `watched` (Windows refuses those and they stay for good; Wine deletes
// them later and so hides the leak).
class DeleteObjectWatch {
 public:
  explicit DeleteObjectWatch(HDC watched) {
    watched_ = watched;
    deletedWhileSelected_ = 0;
    slot_ = FindImport("gdi32.dll", reinterpret_cast<void*>(&::DeleteObject));
    if (!slot_) return;
    real_ = reinterpret_cast<decltype(real_)>(*slot_);
    Write(reinterpret_cast<void*>(&Watched));
  }
  ~DeleteObjectWatch() {
    if (slot_) Write(reinterpret_cast<void*>(real_));
  }
  bool Active() const { return slot_ != nullptr; }
  static int DeletedWhileSelected() { return deletedWhileSelected_; }

 private:
  static BOOL WINAPI Watched(HGDIOBJ object) {
    for (UINT type : {OBJ_FONT, OBJ_BRUSH, OBJ_PEN, OBJ_BITMAP})
      if (GetCurrentObject(watched_, type) == object) ++deletedWhileSelected_;
    return real_(object);
  }
  // The import address slot of the program's own import table that holds `target`.
  static void** FindImport(const char* dll, void* target) {
    auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
      if (lstrcmpiA(reinterpret_cast<char*>(base + d->Name), dll) != 0) continue;
      for (auto* t = reinterpret_cast<void**>(base + d->FirstThunk); *t; ++t)
        if (*t == target) return t;
    }
    return nullptr;
  }
  void Write(void* value) {
    DWORD old = 0;
    VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old);
    *slot_ = value;
    VirtualProtect(slot_, sizeof(void*), old, &old);
  }
  void** slot_ = nullptr;
  static inline HDC watched_ = nullptr;
  static inline int deletedWhileSelected_ = 0;
  static inline BOOL(WINAPI* real_)(HGDIOBJ) = nullptr;
};

// A memory DC with a 32-bit bitmap, for painting without a window.
struct Surface {
  Surface(int w, int h) : dc(CreateCompatibleDC(nullptr)) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    old = SelectObject(dc, bitmap);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ old;
};

TEST_F(AppTest, AThousandBannerPaintsLeaveTheGdiObjectsFlat) {
  auto* info = app->CreateForm<ui::TInfo>();
  info->SetBanner("Trelk-Software Ostvane", "2002-2003", app->Icon());
  Surface surface(435, 65);
  DeleteObjectWatch watch(surface.dc);
  ASSERT_TRUE(watch.Active()) << "the import of DeleteObject was not found";
  info->LogoPB->PaintTo(surface.dc);  // fonts, pens and the version text made once
  const int before = GdiObjects();
  ASSERT_GT(before, 0);
  for (int i = 0; i < 1000; ++i) info->LogoPB->PaintTo(surface.dc);
  EXPECT_LE(GdiObjects() - before, 2) << "GDI objects after 1000 paints";
  EXPECT_EQ(DeleteObjectWatch::DeletedWhileSelected(), 0) << "fonts deleted while the banner's DC had them";
}

TEST_F(AppTest, AThousandPaintsOfAnOwnerDrawnListLeaveTheGdiObjectsFlat) {
  auto* form = app->CreateForm<tktest::TTestForm>();
  auto* list = new TListBox(form, form, {10, 10, 300, 200}, 40);
  for (const char* name : {"Adressmeister", "Kassenbuch", "Lagerfix", "Ostvane", "Wörterbuch"}) list->Add(name);
  list->SetItemIndex(1);
  int drawn = 0;
  list->OnDrawItem = [&](TComponent*, int index, const RECT& r, bool selected) {
    TCanvas& canvas = *list->Canvas();
    canvas.FillRect(r);
    canvas.Font().SetBold(selected);  // a change of the selected font in the middle of drawing
    canvas.TextOut(r.left + 8, r.top + 2, list->Item(index));
    canvas.Font().SetBold(!selected);
    canvas.TextOut(r.right - 100, r.top + 2, "14 Tage");
    ++drawn;
  };
  form->ShowForm();
  list->Repaint();
  const int before = GdiObjects();
  for (int i = 0; i < 1000; ++i) RedrawWindow(list->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_GE(drawn, 4000) << "the rows were drawn";
  EXPECT_LE(GdiObjects() - before, 2) << "GDI objects after 1000 paints";
}

TEST_F(AppTest, AFontChangedWhileSelectedLivesUntilTheCanvasLetsGo) {
  Surface surface(50, 20);
  HGDIOBJ own = GetCurrentObject(surface.dc, OBJ_FONT);
  HGDIOBJ first = nullptr;
  {
    TCanvas canvas(surface.dc);
    canvas.TextOut(0, 0, "a");
    first = GetCurrentObject(surface.dc, OBJ_FONT);
    canvas.Font().SetBold(true);  // the font object no longer holds it, the DC still does
    EXPECT_EQ(GetObjectType(first), static_cast<DWORD>(OBJ_FONT));
    canvas.TextOut(0, 0, "b");
    EXPECT_NE(GetCurrentObject(surface.dc, OBJ_FONT), first);
  }
  EXPECT_EQ(GetCurrentObject(surface.dc, OBJ_FONT), own) << "the DC's own font is back";
  EXPECT_EQ(GetObjectType(first), 0u) << "and ours are gone";
}

TEST_F(AppTest, BitmapsThatCannotBeMadeAreReported) {
  struct Case {
    int w, h;
  };
  for (Case c : {Case{0, 0}, Case{-5, 10}, Case{200000, 200000}}) {
    try {
      TBitmap::Create(c.w, c.h);
      ADD_FAILURE() << c.w << " x " << c.h << " was made";
    } catch (const base::Exception& e) {
      EXPECT_EQ(e.Message(), "Die Bitmap " + std::to_string(c.w) + " x " + std::to_string(c.h) + " kann nicht erstellt werden");
    }
    ScopedGetDc screen(nullptr);
    EXPECT_THROW(TOffscreen(screen.get(), c.w, c.h), base::Exception);
  }
  EXPECT_THROW(TBitmap::FromResource(GetModuleHandleA(nullptr), "GIBTESNICHT"), base::Exception);
  auto small = TBitmap::Create(3, 2);
  auto mask = small->MonochromeMask(RGB(0, 0, 0));
  EXPECT_EQ(mask->Width(), 3);
  EXPECT_EQ(small->Copy()->Height(), 2);
}

}  // namespace
