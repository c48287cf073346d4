// The SDL2 display: the phone's screen in a desktop window, scaled (×2 by default), with the
// host keyboard as the phone's keys.
#include <SDL.h>

#include <cstdio>

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
};

class SdlDisplay : public DisplayBackend {
 public:
  explicit SdlDisplay(PhoneInput& input) : input_(input) {}

  bool open(int width, int height, int scale) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
      fprintf(stderr, "melodex: SDL: %s\n", SDL_GetError());
      return false;
    }
    window_.reset(SDL_CreateWindow("Melodex — emulated phone", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                   width * scale, height * scale, 0));
    if (!window_) return fail();
    renderer_.reset(SDL_CreateRenderer(window_.get(), -1, 0));
    if (!renderer_) return fail();
    SDL_RenderSetLogicalSize(renderer_.get(), width, height);
    texture_.reset(SDL_CreateTexture(renderer_.get(), SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height));
    if (!texture_) return fail();
    wakeEvent_ = SDL_RegisterEvents(1);
    return true;
  }

  void present(const Surface& screen) override {
    SDL_UpdateTexture(texture_.get(), nullptr, screen.pixels.data(), screen.width * 4);
    SDL_RenderClear(renderer_.get());
    SDL_RenderCopy(renderer_.get(), texture_.get(), nullptr, nullptr);
    SDL_RenderPresent(renderer_.get());
    last_ = &screen;
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

  void handle(const SDL_Event& e) {
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
};

}  // namespace

std::unique_ptr<DisplayBackend> CreateSdlDisplay(int width, int height, int scale, PhoneInput& input) {
  auto display = std::make_unique<SdlDisplay>(input);
  if (!display->open(width, height, scale)) return nullptr;
  return display;
}

}  // namespace device
