// The SDL2 display: the phone's screen in a desktop window, scaled (×2 by default), with the
// host keyboard as the phone's keys, and under the screen a strip of the emulator's own chrome
// with a one-line notice (SDL_ttf, a sans-serif face found through fontconfig).
#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include <windows.h>

#include "backends/display/DisplayBackend.h"

namespace device {
namespace {

UINT KeyFromSdl(SDL_Keycode key) {
  switch (key) {
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_F1: return VK_F1;
    case SDLK_F2: return VK_F2;
    case SDLK_F3: return VK_F3;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_PLUS:
    case SDLK_EQUALS:
    case SDLK_KP_PLUS: return VK_VOLUME_UP;
    case SDLK_MINUS:
    case SDLK_KP_MINUS: return VK_VOLUME_DOWN;
    default: break;
  }
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<UINT>('0' + (key - SDLK_0));
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return static_cast<UINT>('1' + (key - SDLK_KP_1));
  if (key == SDLK_KP_0) return '0';
  return 0;
}

struct SdlDeleter {
  void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
  void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
  void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
  void operator()(TTF_Font* f) const { TTF_CloseFont(f); }
};

// The chrome strip under the phone's screen, in phone pixels, and its notice's text size.
constexpr int kChromeHeight = 18;
constexpr int kNoticePixels = 11;

// The file of the host's default sans-serif face; empty when fontconfig knows none.
std::string SansSerifFile() {
  std::string file;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
  if (!pattern) return file;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcChar8* path = nullptr;
  if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) file = reinterpret_cast<char*>(path);
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pattern);
  return file;
}

class SdlDisplay : public DisplayBackend {
 public:
  explicit SdlDisplay(PhoneInput& input) : input_(input) {}

  ~SdlDisplay() override {
    noticeTexture_.reset();
    font_.reset();
    if (TTF_WasInit()) TTF_Quit();
  }

  bool open(int width, int height, int scale) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      fprintf(stderr, "melodex: SDL: %s\n", SDL_GetError());
      return false;
    }
    // Without a window system SDL settles for a driver that draws nowhere, and the phone would
    // run in a window nobody can see; the headless runner is the way to run without one.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
      fprintf(stderr, "melodex: SDL found no window system (only its %s driver)\n", driver);
      return false;
    }
    scale_ = scale;
    window_.reset(SDL_CreateWindow("Melodex — emulated phone", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   width * scale, (height + kChromeHeight) * scale, 0));
    if (!window_) return fail();
    renderer_.reset(SDL_CreateRenderer(window_.get(), -1, 0));
    if (!renderer_) return fail();
    texture_.reset(SDL_CreateTexture(renderer_.get(), SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height));
    if (!texture_) return fail();
    wakeEvent_ = SDL_RegisterEvents(1);
    // Without a face the strip stays empty: the notice is a courtesy, the phone works without it.
    std::string face = SansSerifFile();
    if (TTF_Init() == 0 && !face.empty()) font_.reset(TTF_OpenFont(face.c_str(), kNoticePixels * scale));
    if (!font_) fprintf(stderr, "melodex: no font for the emulator's notices (%s)\n", TTF_GetError());
    return true;
  }

  void present(const Surface& screen) override {
    const int width = screen.width * scale_, height = screen.height * scale_;
    SDL_UpdateTexture(texture_.get(), nullptr, screen.pixels.data(), screen.width * 4);
    SDL_SetRenderDrawColor(renderer_.get(), 0x20, 0x24, 0x2C, 0xFF);
    SDL_RenderClear(renderer_.get());
    const SDL_Rect phone{0, 0, width, height};
    SDL_RenderCopy(renderer_.get(), texture_.get(), nullptr, &phone);
    if (SDL_Texture* text = noticeTexture()) {
      int w = 0, h = 0;
      SDL_QueryTexture(text, nullptr, nullptr, &w, &h);
      const SDL_Rect at{4 * scale_, height + (kChromeHeight * scale_ - h) / 2, w, h};
      SDL_RenderCopy(renderer_.get(), text, nullptr, &at);
    }
    SDL_RenderPresent(renderer_.get());
    last_ = &screen;
  }

  void notice(const std::string& utf8) override {
    std::string line = utf8;
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
    {
      std::lock_guard<std::mutex> lk(noticeMutex_);
      notice_ = std::move(line);
      noticeChanged_ = true;
    }
    wake();  // the user-interface thread draws it at its next wait
  }

  void wait(std::unique_lock<std::mutex>& lk, std::condition_variable&, std::optional<uint64_t> realTimeoutMs) override {
    // SDL's event wait sleeps in the window system until an event or the time-out: no polling.
    lk.unlock();
    SDL_Event e;
    int timeout = realTimeoutMs ? static_cast<int>(std::min<uint64_t>(*realTimeoutMs, 1u << 30)) : -1;
    if (SDL_WaitEventTimeout(&e, timeout)) {
      handle(e);
      while (SDL_PollEvent(&e)) handle(e);
    }
    lk.lock();
  }

  void wake() override {
    SDL_Event e{};
    e.type = wakeEvent_;
    SDL_PushEvent(&e);
  }

 private:
  bool fail() {
    fprintf(stderr, "melodex: SDL: %s\n", SDL_GetError());
    return false;
  }

  // The notice's picture, made again on the user-interface thread when the text changed; null
  // when there is no notice or no font.
  SDL_Texture* noticeTexture() {
    std::string text;
    {
      std::lock_guard<std::mutex> lk(noticeMutex_);
      if (!noticeChanged_) return noticeTexture_.get();
      noticeChanged_ = false;
      text = notice_;
    }
    noticeTexture_.reset();
    if (!font_ || text.empty()) return nullptr;
    std::unique_ptr<SDL_Surface, SdlDeleter> rendered(
        TTF_RenderUTF8_Blended(font_.get(), text.c_str(), SDL_Color{0xF2, 0xF4, 0xF8, 0xFF}));
    if (rendered) noticeTexture_.reset(SDL_CreateTextureFromSurface(renderer_.get(), rendered.get()));
    return noticeTexture_.get();
  }

  void handle(const SDL_Event& e) {
    if (e.type == wakeEvent_) {
      bool changed;
      {
        std::lock_guard<std::mutex> lk(noticeMutex_);
        changed = noticeChanged_;
      }
      if (changed && last_) present(*last_);
      return;
    }
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        if (e.key.repeat) break;
        if (UINT vk = KeyFromSdl(e.key.keysym.sym)) input_.key(e.type == SDL_KEYDOWN, vk);
        break;
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) input_.focus(false);
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) input_.focus(true);
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED && last_) present(*last_);
        break;
      case SDL_QUIT:
        input_.switchOff();
        break;
      default:
        break;
    }
  }

  PhoneInput& input_;
  std::unique_ptr<SDL_Window, SdlDeleter> window_;
  std::unique_ptr<SDL_Renderer, SdlDeleter> renderer_;
  std::unique_ptr<SDL_Texture, SdlDeleter> texture_;
  Uint32 wakeEvent_ = 0;
  const Surface* last_ = nullptr;
  int scale_ = 1;
  std::unique_ptr<TTF_Font, SdlDeleter> font_;
  std::unique_ptr<SDL_Texture, SdlDeleter> noticeTexture_;
  std::mutex noticeMutex_;
  std::string notice_;
  bool noticeChanged_ = false;
};

}  // namespace

std::unique_ptr<DisplayBackend> CreateSdlDisplay(int width, int height, int scale, PhoneInput& input) {
  auto display = std::make_unique<SdlDisplay>(input);
  if (!display->open(width, height, scale)) return nullptr;
  return display;
}

}  // namespace device
