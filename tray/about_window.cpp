// The About window: the main window itself, given its controls on first use
// and shown topmost. Fixed pixel layout, no dialog template.
#include "program_state.h"
#include "resources/product_texts.h"

struct AboutControl {
    const char *className;
    const char *text;
    DWORD style;
    short x, y, width, height;
};

// Created in this order; the first is the "Ok" button, the last the link.
static const AboutControl AboutControls[] = {
    {"BUTTON", "Ok", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 115, 182, 75, 25},
    {"STATIC", "", WS_CHILD | WS_VISIBLE | SS_SUNKEN, 8, 8, 281, 161},
    // SS_ICON takes the text as the name of an icon resource of our module.
    {"STATIC", "MAINICON", WS_CHILD | WS_VISIBLE | SS_ICON | SS_CENTERIMAGE, 56, 28, 32, 32},
    {"STATIC", "Quellin", WS_CHILD | WS_VISIBLE | SS_LEFT, 128, 24, 158, 20},
    {"STATIC", "Version " QUELLIN_VERSION, WS_CHILD | WS_VISIBLE | SS_LEFT, 128, 48, 158, 20},
    {"STATIC", QUELLIN_COPYRIGHT, WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 88, 277, 20},
    // The shown text is the very address that a click opens.
    {"STATIC", QUELLIN_HOME_PAGE, WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOTIFY, 10, 124, 277, 20},
};
const int AboutControlCount = sizeof AboutControls / sizeof AboutControls[0];

static HWND CreateAboutControl(const AboutControl &c)
{
    return CreateWindowExA(0, c.className, c.text, c.style, c.x, c.y, c.width, c.height, state.mainWindow,
                           nullptr, state.instance, nullptr);
}

void ShowAboutWindow()
{
    // okButton doubles as the "controls exist" mark; if its creation failed,
    // the next call builds the whole set again.
    if (state.okButton == nullptr) {
        for (int i = 0; i < AboutControlCount; ++i) {
            HWND control = CreateAboutControl(AboutControls[i]);
            if (i == 0)
                state.okButton = control;
            if (i == AboutControlCount - 1)
                state.linkLabel = control;
        }
    }

    RECT workArea;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    ScreenPoint origin = AboutWindowOrigin(workArea.right, workArea.bottom);
    SetWindowPos(state.mainWindow, HWND_TOPMOST, origin.x, origin.y, AboutWidth, AboutHeight, SWP_SHOWWINDOW);
}

void HideAboutWindow()
{
    // Hidden, but kept topmost and with its controls for the next time.
    SetWindowPos(state.mainWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE);
}

void OnControlCommand(HWND control, UINT notification)
{
    if (control == state.okButton && notification == BN_CLICKED) {
        HideAboutWindow();
    } else if (control == state.linkLabel && notification == STN_CLICKED) {
        ShellExecuteA(nullptr, nullptr, QUELLIN_HOME_PAGE, nullptr, nullptr, SW_SHOWNORMAL);
    }
}

LRESULT ColourLink(HDC deviceContext)
{
    SetTextColor(deviceContext, RGB(0, 0, 255));
    SetBkMode(deviceContext, TRANSPARENT);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void SetPointerShape(HWND windowUnderPointer)
{
    SetCursor(windowUnderPointer == state.linkLabel ? state.handCursor : state.arrowCursor);
}
