// Internal to platform/: the SDL window behind a PlatWindow, for the video
// device that renders into it.
#pragma once

struct PlatWindow;
struct SDL_Window;

SDL_Window* plat_window_sdl(PlatWindow* window);
