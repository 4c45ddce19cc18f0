// The program's entry point: hands over to the application object.
#include "framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, wchar_t* commandLine, int show)
{
    return AfxWinMain(instance, previous, commandLine, show);
}
