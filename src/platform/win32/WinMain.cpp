// The Windows entry of Quorvel.exe.
#include <windows.h>

int RunProgram();

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunProgram();
}
