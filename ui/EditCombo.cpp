#include "EditCombo.h"

#include <QLineEdit>

TEditCombo::TEditCombo(QWidget *parent) : QComboBox(parent)
{
    // What setEditable(true) does, less the popup.
    auto *edit = new QLineEdit(this);
    edit->setPalette(palette());
    setLineEdit(edit);
}
