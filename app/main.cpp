// AT_Vexo: configures a Vexo serial gateway module with AT commands.
#include "Application.h"
#include "StartUp.h"
#include "fAT_Vexo.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    PrepareApplication();
    const auto window = StartUp();
    return app.exec();
}
