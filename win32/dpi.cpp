#include "win32/dpi.h"

namespace inkbinder::win32 {

namespace {

constexpr int kDefaultDpi = 96;
constexpr int kMonitorEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// Looked up at run time so the program still starts on systems without them.
template <typename Fn>
Fn Lookup(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  if (handle == nullptr) handle = LoadLibraryA(module);
  if (handle == nullptr) return nullptr;
  // Through void(*)(): the one function type GCC lets stand for any other.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

}  // namespace

int SystemDpi() {
  static const auto get_dpi_for_system = Lookup<GetDpiForSystemFn>("user32.dll", "GetDpiForSystem");
  if (get_dpi_for_system != nullptr) return static_cast<int>(get_dpi_for_system());
  HDC screen = GetDC(nullptr);
  const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : kDefaultDpi;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kDefaultDpi;
}

int MonitorDpi(HMONITOR monitor) {
  static const auto get_dpi_for_monitor = Lookup<GetDpiForMonitorFn>("shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (get_dpi_for_monitor != nullptr && monitor != nullptr &&
      SUCCEEDED(get_dpi_for_monitor(monitor, kMonitorEffectiveDpi, &x, &y)) && y > 0) {
    return static_cast<int>(y);
  }
  return SystemDpi();
}

int WindowDpi(HWND hwnd) {
  static const auto get_dpi_for_window = Lookup<GetDpiForWindowFn>("user32.dll", "GetDpiForWindow");
  if (get_dpi_for_window != nullptr) {
    const UINT dpi = get_dpi_for_window(hwnd);
    if (dpi > 0) return static_cast<int>(dpi);
  }
  return SystemDpi();
}

SIZE FrameSizeForClient(int client_width, int client_height, DWORD style, DWORD ex_style,
                        int dpi) {
  static const auto adjust_for_dpi =
      Lookup<AdjustWindowRectExForDpiFn>("user32.dll", "AdjustWindowRectExForDpi");
  RECT rect = {0, 0, client_width, client_height};
  if (adjust_for_dpi == nullptr ||
      !adjust_for_dpi(&rect, style, FALSE, ex_style, static_cast<UINT>(dpi))) {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

HFONT CreateMessageFont(int dpi) {
  // The metrics come at the system DPI; the window may sit on a monitor of another.
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  }
  LOGFONTA font = metrics.lfMessageFont;
  font.lfHeight = MulDiv(font.lfHeight, dpi, SystemDpi());
  HFONT handle = CreateFontIndirectA(&font);
  return handle != nullptr ? handle : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace inkbinder::win32
