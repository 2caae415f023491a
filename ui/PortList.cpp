#include "PortList.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QStyledItemDelegate>

namespace {

constexpr int NoteRole = Qt::UserRole + 7;

class TPortNoteDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString note = index.data(NoteRole).toString();
        if (!note.isEmpty())
            option->text += QStringLiteral("  ") + note;
    }
};

} // namespace

void ShowPortNotes(QComboBox *box)
{
    if (!dynamic_cast<TPortNoteDelegate *>(box->itemDelegate()))
        box->setItemDelegate(new TPortNoteDelegate(box));
}

void SetPortNote(QComboBox *box, const QString &name, const QString &note)
{
    const int i = box->findText(name, Qt::MatchFixedString);
    if (i < 0)
        return;
    box->setItemData(i, note, NoteRole);
    int widest = box->width();
    const QFontMetrics fm(box->view()->font());
    for (int n = 0; n < box->count(); ++n)
        widest = std::max(widest, fm.horizontalAdvance(box->itemText(n) + QStringLiteral("  ") + PortNoteOf(box, n)) + 24);
    box->view()->setMinimumWidth(widest);
}

QString PortNoteOf(const QComboBox *box, int index) { return box->itemData(index, NoteRole).toString(); }
