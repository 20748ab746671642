// Quellbar: start-up, the hidden main window and the message loop.
#include "program_state.h"

ProgramState state;

static void LoadImages()
{
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);

    TrayImageNames names = ChooseTrayImages(version.dwMajorVersion, version.dwMinorVersion);
    state.normalTrayImage = LoadIconA(state.instance, names.normal);
    state.hoverTrayImage = LoadIconA(state.instance, names.hover);
    state.classIcon = LoadIconA(state.instance, "MAINICON");
    state.handCursor = LoadCursorA(nullptr, IDC_HAND);
    state.arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
}

static void CreateMainWindow()
{
    WNDCLASSA windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = state.instance;
    windowClass.hIcon = state.classIcon;
    // No class cursor: the window procedure chooses the pointer on every
    // WM_SETCURSOR, so the class must not impose one.
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 1);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = "Quellin";
    RegisterClassA(&windowClass);

    // A tool window (no taskbar button) with a caption but no system menu, so
    // no close box: "Ok" is the only way to hide it once shown.
    state.mainWindow = CreateWindowExA(WS_EX_TOOLWINDOW, "Quellin", "About Quellin", WS_POPUP | WS_CAPTION,
                                       100, 100, 100, 100, nullptr, nullptr, state.instance, nullptr);
    state.okButton = nullptr;
}

extern "C" void WinMainCRTStartup()
{
    state.instance = GetModuleHandleA(nullptr);
    // A restarted shell announces itself with this message; the icon has to
    // be added again then, or the program would run on out of reach.
    state.taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");

    LoadImages();
    CreateMainWindow();
    AddTrayIcon();
    CreateTrayMenu();

    // No TranslateMessage: the program has no keyboard handling. A result of
    // -1 (the loop's own call failed) ends the loop like the quit message
    // would, instead of spinning on the failure.
    while (GetMessageA(&state.message, nullptr, 0, 0) > 0)
        DispatchMessageA(&state.message);

    RemoveTrayIcon();
    ExitProcess(0);
}
