// Composing a typical screen: one 320x46 header blit, four 165x35 menu blits, five
// DrawTextW lines, the soft-key bar (fill + two 34-pixel labels) into the 320x320 back buffer,
// then the copy of the client area out (here into a memory DC standing in for the window DC).
#include <benchmark/benchmark.h>
#include <windows.h>

#include "gdi32/handles.h"

namespace {

HBITMAP Solid(int w, int h, uint32_t pixel) { return gdi::CreateBitmapFromSurface(device::Surface(w, h, pixel)); }

void ComposeScreen(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = 320;
  HDC back = CreateCompatibleDC(nullptr);
  HDC image = CreateCompatibleDC(nullptr);
  HDC window = CreateCompatibleDC(nullptr);
  HBITMAP backBmp = CreateCompatibleBitmap(back, 320, 320);
  HBITMAP windowBmp = CreateCompatibleBitmap(window, width, height);
  SelectObject(back, backBmp);
  SelectObject(window, windowBmp);
  HBITMAP header = Solid(320, 46, 0x00CC0098);
  HBITMAP items[4] = {Solid(165, 35, 0x00FF9B16), Solid(165, 35, 0x00FF9602), Solid(165, 35, 0x000078C1),
                      Solid(165, 35, 0x00FFFC00)};
  HBITMAP labels[2] = {Solid(60, 34, 0x000077C0), Solid(70, 34, 0x000077C0)};
  LOGFONTW lf{};
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  HFONT font = CreateFontIndirectW(&lf);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  HBRUSH bar = CreateSolidBrush(RGB(0, 119, 192));
  const char16_t* lines[5] = {u"Artist:", u"Daft Punk", u"Track:", u"Harder, Better, Faster, Stronger",
                              u"Enter a number to send the"};
  RECT client{0, 0, width, height};

  for (auto _ : state) {
    FillRect(back, &client, white);
    SelectObject(image, header);
    BitBlt(back, width / 2 - 160, 0, 320, 46, image, 0, 0, SRCCOPY);
    for (int k = 0; k < 4; ++k) {
      SelectObject(image, items[k]);
      BitBlt(back, width / 2 - 82, 80 + k * 35, 165, 35, image, 0, 0, SRCCOPY);
    }
    SelectObject(back, font);
    SetBkColor(back, RGB(255, 255, 255));
    for (int k = 0; k < 5; ++k) {
      RECT r{10, 230 + (k % 3) * 18, width - 10, 248 + (k % 3) * 18};
      DrawTextW(back, lines[k], -1, &r, k == 0 || k == 2 ? 0x26 : DT_VCENTER);
    }
    RECT barRect{0, height - 34, width, height};
    FillRect(back, &barRect, bar);
    SelectObject(image, labels[0]);
    BitBlt(back, 10, height - 34, 60, 34, image, 0, 0, SRCCOPY);
    SelectObject(image, labels[1]);
    BitBlt(back, width - 10 - 70, height - 34, 70, 34, image, 0, 0, SRCCOPY);
    BitBlt(window, 0, 0, width, height, back, 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetLabel(width == 240 ? "qvga 240x320" : "square 320x320");
}
BENCHMARK(ComposeScreen)->Arg(240)->Arg(320)->Unit(benchmark::kMicrosecond);

// One DrawTextW of the help screen's word-wrapped topic text (the heaviest text the program draws).
void DrawHelpText(benchmark::State& state) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 240, 320);
  SelectObject(dc, bmp);
  LOGFONTW lf{};
  lf.lfHeight = 16;
  lf.lfWeight = FW_NORMAL;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  SelectObject(dc, CreateFontIndirectW(&lf));
  const char16_t* text =
      u"Select ID Song! in the main menu to get started.  You will have a second or two before the phone is "
      u"listening to the music.  Always try to get the phone as close to the music as possible.  The cleaner "
      u"the sound source, the better the chance of finding your song!";
  for (auto _ : state) {
    RECT r{10, 46, 230, 286};
    benchmark::DoNotOptimize(DrawTextW(dc, text, -1, &r, DT_WORDBREAK));
  }
}
BENCHMARK(DrawHelpText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
