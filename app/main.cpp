// AT_Vexo: configures a Vexo serial gateway module with AT commands.
#include "ErrorHandler.h"
#include "StartUp.h"
#include "pAT_Vexo.h"

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    PrepareApplication();
    const auto window = StartUp();
    return app.exec();
}
