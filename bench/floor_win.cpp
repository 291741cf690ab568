// orbelune_bench_floor.exe: the least any conforming agent does, for the benchmarks to put
// beside the agent's figures: a windowless program that joins the multithreaded COM
// apartment, starts Media Foundation and then sleeps 500 ms in a loop, forever.
#include <windows.h>
#include <mfapi.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MFStartup(MF_VERSION, MFSTARTUP_LITE);
    for (;;) {
        Sleep(500);
    }
}
