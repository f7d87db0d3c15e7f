// Helpers of the ui tests: an application per test, memory bitmaps to paint into and read back,
// and a solid test icon.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/Color.h"
#include "tests/support/Programs.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Handles.h"

namespace uitest {

using testsupport::BinDir;

// A 32-bit top-down DIB selected into a memory DC; Pixel reads it back as a COLORREF.
class MemoryBitmap {
 public:
  MemoryBitmap(int width, int height, COLORREF fill = RGB(1, 2, 3)) : width_(width), height_(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    dc_.reset(CreateCompatibleDC(nullptr));
    bitmap_.reset(CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<const uint32_t*>(bits);
    select_ = std::make_unique<toolkit::ScopedSelectObject>(dc_.get(), bitmap_.get());
    toolkit::ScopedGdiObject brush(CreateSolidBrush(fill));
    RECT r{0, 0, width, height};
    FillRect(dc_.get(), &r, static_cast<HBRUSH>(brush.get()));
  }
  ~MemoryBitmap() { select_.reset(); }
  HDC Dc() const { return dc_.get(); }
  COLORREF Pixel(int x, int y) const {
    GdiFlush();
    uint32_t v = bits_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }

 private:
  int width_, height_;
  toolkit::ScopedMemoryDc dc_;
  toolkit::ScopedGdiObject bitmap_;
  const uint32_t* bits_ = nullptr;
  std::unique_ptr<toolkit::ScopedSelectObject> select_;
};

// Pixels of a bitmap of ours, read through a memory DC.
inline COLORREF BitmapPixel(const toolkit::TBitmap& bitmap, int x, int y) {
  toolkit::ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
  toolkit::ScopedSelectObject select(dc.get(), bitmap.Handle());
  return GetPixel(dc.get(), x, y);
}

inline std::string ColorText(COLORREF c) {
  return "(" + std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," + std::to_string(GetBValue(c)) + ")";
}

// A square icon of one colour.
inline HICON SolidIcon(int size, COLORREF color) {
  MemoryBitmap colorBits(size, size, color);
  toolkit::ScopedGetDc screen(nullptr);
  toolkit::ScopedGdiObject colorBitmap(CreateCompatibleBitmap(screen.get(), size, size));
  {
    toolkit::ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    toolkit::ScopedSelectObject select(dc.get(), colorBitmap.get());
    BitBlt(dc.get(), 0, 0, size, size, colorBits.Dc(), 0, 0, SRCCOPY);
  }
  toolkit::ScopedGdiObject mask(CreateBitmap(size, size, 1, 1, nullptr));
  {
    toolkit::ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    toolkit::ScopedSelectObject select(dc.get(), mask.get());
    PatBlt(dc.get(), 0, 0, size, size, BLACKNESS);  // opaque everywhere
  }
  ICONINFO info{TRUE, 0, 0, static_cast<HBITMAP>(mask.get()), static_cast<HBITMAP>(colorBitmap.get())};
  return CreateIconIndirect(&info);
}

// A fresh application object for each test.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<toolkit::TApplication>();
    app->SetTitle("Trelk-Software Ostvane");
  }
  void TearDown() override { app.reset(); }
  std::unique_ptr<toolkit::TApplication> app;
};

// A plain form owned by the application.
class TPlainForm : public toolkit::TForm {
 public:
  explicit TPlainForm(toolkit::TComponent* owner) : TForm(owner, "TPlainForm", "Test", 300, 200) {}
};

}  // namespace uitest
