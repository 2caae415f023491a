// The program's start-up, kept apart from main() so it can be tested.
#pragma once

#include <functional>
#include <memory>
#include <thread>

class TSplashForm;
class TfAT_Vexo;

// Loads the system's font configuration on a thread of its own, so that it
// overlaps the application object connecting to the display. Make it before
// the application object; Join() before the first text is laid out.
class TFontWarmUp {
public:
    TFontWarmUp();
    ~TFontWarmUp();
    void Join();

private:
    std::thread FThread;
};

// Pictures, font substitutes, the program icon and the serial hand-over to
// the event loop. Once, after the application object exists.
void PrepareApplication();

// Shows and paints the splash window, builds the main window, destroys the
// splash and shows the main window at its design position. `splashShown`
// (for tests) runs while the splash is on screen.
std::unique_ptr<TfAT_Vexo> StartUp(const std::function<void(TSplashForm &)> &splashShown = {});
