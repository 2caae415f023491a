#include "Fonts.h"

#include <QFont>

void InstallFontSubstitutions()
{
    static const bool installed = [] {
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
        QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
        QFont::insertSubstitution(QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"));
        return true;
    }();
    (void)installed;
}

bool IsFixedPitchFace(const QString &family) { return family == QLatin1String("Courier New"); }
