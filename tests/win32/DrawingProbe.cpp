// drawing-probe.exe: whether the Wine that runs the 32-bit tests draws for a 32-bit program.
// Wine 8.0's WoW64 mode has no 32-bit path for most drawing calls (measuring text, selecting a
// font, a memory DC, blitting, ending a paint): they fail at once, nothing drawn. An edit control
// holding a text then reads through a null pointer inside Wine's gdi32: Uniscribe's analysis of
// the text reports success with no font measured, and the size it gives next is read from none.
//   drawing-probe metrics   exit 0 when text can be measured on the screen, 1 when it cannot
//   drawing-probe edit      exit 0 when an edit control takes a font and a text and gives it back
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

int main(int argc, char** argv) {
    const char* what = argc > 1 ? argv[1] : "";
    if (std::strcmp(what, "metrics") == 0) {
        HDC screen = ::GetDC(nullptr);
        TEXTMETRICW metrics{};
        const bool measured = ::GetTextMetricsW(screen, &metrics) != FALSE;
        ::ReleaseDC(nullptr, screen);
        std::printf("text on the screen %s\n", measured ? "measured" : "not measured");
        return measured ? 0 : 1;
    }
    if (std::strcmp(what, "edit") == 0) {
        HWND edit = ::CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 80, 20, nullptr, nullptr, nullptr, nullptr);
        ::SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ::SetWindowTextW(edit, L"1234");
        wchar_t text[8] = {};
        ::GetWindowTextW(edit, text, 8);
        ::DestroyWindow(edit);
        std::printf("edit control holds \"%ls\"\n", text);
        return std::wcscmp(text, L"1234") == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: drawing-probe metrics|edit\n");
    return 2;
}
