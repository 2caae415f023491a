// The program's engine saving its settings over and over, to be killed in
// the middle:
//   vexo_fault_saver <folder> [hold]
// Works in <folder>, then saves two port names in turn (a short and a long
// one) until it is killed. Writes "r" to standard output once the first save
// is done. With "hold" the second save stops with its temporary file written
// but not yet in place, writes "m" and waits there to be killed.
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "FakeView.h"
#include "WorkFile.h"
#include "pAT_Vexo.h"

namespace {

int gSaves = 0;

void HoldInTheMiddle()
{
    if (gSaves < 1)
        return;
    if (write(1, "m", 1) != 1)
        _exit(6);
    for (;;)
        pause();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    std::error_code ec;
    std::filesystem::current_path(argv[1], ec);
    if (ec)
        return 3;
    if (argc > 2 && std::string(argv[2]) == "hold")
        SetSaveHook(HoldInTheMiddle);
    TFakeView view;
    TAT_VexoEngine engine(view);
    const std::string names[2] = {"COM3", std::string(3000, 'L') + "COM12"};
    for (unsigned long i = 0;; ++i) {
        view.texts[TViewText::cbRSname] = names[i % 2];
        engine.SaveWorkFile();
        ++gSaves;
        if (i == 0 && write(1, "r", 1) != 1)
            return 5;
    }
}
