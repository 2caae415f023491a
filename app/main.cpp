// AT_Vexo: configures a Vexo serial gateway module with AT commands.
#include "Application.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

int main(int argc, char **argv)
{
    TFontWarmUp fonts; // while the application object connects to the display
    TApplication app(argc, argv);
    fonts.Join();
    PrepareApplication();
    const auto window = StartUp();
    return app.exec();
}
