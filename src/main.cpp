// The program entry. Windows starts a screen saver with a switch: S is served
// here before anything else exists, by re-launching this executable with E
// and waiting for it; every other switch runs the application.
#include "host/CommandLine.h"
#include "host/FullScreenChild.h"
#include "win/Application.h"
#include "win/ComInitialization.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    if (saver::GetSwitchLetter() == 'S') {
        try {
            saver::RunFullScreenChild();
        } catch (...) {
        }
        return 0;
    }

    try {
        // The shell's path parsing needs COM on the main thread for the whole run.
        saver::win::TComInitialization comInitialization;
        saver::win::TApplication application;
        application.Initialize();
        application.HideFromTaskbar();
        // The main form, and with it the message loop, joins here with the window layer.
    } catch (...) {
    }
    return 0;
}
