// The main window's fonts: the designed ones where the machine has them, else ones with the same
// glyphs, at the monitor's DPI.
#include "Win32Window.h"

#include "ControlIds.h"
#include "FormParts.h"
#include "Layout.h"

#include <cwchar>

namespace qdl::win32 {

UINT DpiOf(HWND window) {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = reinterpret_cast<DpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (dpiForWindow && window)
        return dpiForWindow(window);
    WindowDc screen(nullptr);
    return static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX));
}

namespace {

Font CreateFace(const wchar_t* face, int pixels, bool fixedPitch) {
    return Font(CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            static_cast<BYTE>((fixedPitch ? FIXED_PITCH : VARIABLE_PITCH) | FF_DONTCARE),
                            face));
}

// The face the system really uses for a font: a font it lacks is quietly replaced.
std::wstring RealisedFace(HFONT font) {
    WindowDc screen(nullptr);
    const HGDIOBJ before = SelectObject(screen.get(), font);
    wchar_t face[LF_FACESIZE] = L"";
    GetTextFaceW(screen.get(), LF_FACESIZE, face);
    SelectObject(screen.get(), before);
    return face;
}

// The first of the faces the machine has: the designed Japanese font (by its Japanese and its
// English name), else one with the same glyphs (the Japanese fonts of wine or of a Linux desktop
// under wine). A fallback's Latin letters run wider than the designed font's: a size one pixel
// smaller keeps every caption within its control.
Font MakeFont(const std::initializer_list<const wchar_t*>& designed,
              const std::initializer_list<const wchar_t*>& fallbacks, int designedPixels, int fallbackPixels,
              bool fixedPitch) {
    for (const wchar_t* face : designed) {
        Font font = CreateFace(face, designedPixels, fixedPitch);
        if (_wcsicmp(RealisedFace(font.get()).c_str(), face) == 0)
            return font;
    }
    for (const wchar_t* face : fallbacks) {
        Font font = CreateFace(face, fallbackPixels, fixedPitch);
        if (_wcsicmp(RealisedFace(font.get()).c_str(), face) == 0)
            return font;
    }
    return CreateFace(*designed.begin(), fallbackPixels, fixedPitch);
}

} // namespace

// The designed fonts, 13 pixels high at 96 dpi, else fonts with the same Japanese glyphs.
void TForm1::MakeFonts() {
    windowFont_ = MakeFont({L"ＭＳ Ｐゴシック", L"MS PGothic"},
                           {L"MS UI Gothic", L"IPAPGothic", L"IPAGothic"}, Scaled(13), Scaled(12), false);
    memoFont_ = MakeFont({L"ＭＳ ゴシック", L"MS Gothic"}, {L"IPAGothic"}, Scaled(13), Scaled(13), true);
}

void TForm1::SetFont(int id, bool redraw) {
    SendMessageW(Control(id), WM_SETFONT,
                 reinterpret_cast<WPARAM>(id == IDC_Memo1 ? memoFont_.get() : windowFont_.get()), redraw);
}

// Fonts and places anew, for a monitor of another DPI.
void TForm1::Rescale() {
    MakeFonts();
    for (const auto& entry : controls_)
        SetFont(entry.first, true);
    if (toolTips_)
        SendMessageW(toolTips_, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont_.get()), TRUE);
    for (const ControlSpec& spec : Controls())
        if (Control(spec.Id))
            PlaceControl(spec);
}

} // namespace qdl::win32
