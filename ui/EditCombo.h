// An editable combo box that is editable from its construction on. Qt's
// setEditable() also builds the drop-down list's popup; this one leaves the
// popup to be built when the list is first opened, as a non-editable box does.
#pragma once

#include <QComboBox>

class TEditCombo : public QComboBox {
    Q_OBJECT
public:
    explicit TEditCombo(QWidget *parent = nullptr);
};
