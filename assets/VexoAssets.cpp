#include "VexoAssets.h"

#include <QtCore/qglobal.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterAssets()
{
    Q_INIT_RESOURCE(assets);
}

void InitVexoAssets()
{
    static const bool registered = (RegisterAssets(), true);
    (void)registered;
}
