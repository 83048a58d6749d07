// The yardstick for the Win32 window's start-up: a bare window with the window's manifest (the
// common controls of version 6, per-monitor DPI), its Japanese font found the same way, and one
// line of text in it, and nothing else.
#include <windows.h>

#include <cwchar>
#include <initializer_list>

namespace {

HFONT Face(const wchar_t* face, int pixels) {
    return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_DONTCARE, face);
}

bool Realised(HFONT font, const wchar_t* face) {
    HDC screen = GetDC(nullptr);
    const HGDIOBJ before = SelectObject(screen, font);
    wchar_t realised[LF_FACESIZE] = L"";
    GetTextFaceW(screen, LF_FACESIZE, realised);
    SelectObject(screen, before);
    ReleaseDC(nullptr, screen);
    return _wcsicmp(realised, face) == 0;
}

HFONT WindowFont() {
    for (const wchar_t* face : {L"ＭＳ Ｐゴシック", L"MS UI Gothic", L"IPAPGothic"}) {
        HFONT font = Face(face, 13);
        if (Realised(font, face))
            return font;
        DeleteObject(font);
    }
    return Face(L"IPAGothic", 12);
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    WNDCLASSEXW form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = Procedure;
    form.hInstance = instance;
    form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    form.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    form.lpszClassName = L"BareWindow";
    RegisterClassExW(&form);
    HWND window =
        CreateWindowExW(0, L"BareWindow", L"Bare window", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                        CW_USEDEFAULT, CW_USEDEFAULT, 433, 405, nullptr, nullptr, instance, nullptr);
    HWND line = CreateWindowExW(0, L"STATIC", L"Quadrel 4816 スイッチ", WS_CHILD | WS_VISIBLE, 8, 8, 400, 20,
                                window, nullptr, instance, nullptr);
    SendMessageW(line, WM_SETFONT, reinterpret_cast<WPARAM>(WindowFont()), TRUE);
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
