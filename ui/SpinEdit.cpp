#include "SpinEdit.h"

#include <QFocusEvent>

#include <algorithm>
#include <QLineEdit>

namespace {

// A whole number as the control understands it: optional sign, then digits
// only. Out-of-int values saturate, so "99999999999" still clamps to the top.
bool ReadWhole(const QString &text, qint64 &value)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
        negative = t[i] == u'-';
        ++i;
    }
    if (i >= t.size())
        return false;
    qint64 v = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c < u'0' || c > u'9')
            return false;
        if (v < 1'000'000'000'000LL)
            v = v * 10 + (c.unicode() - u'0');
    }
    value = negative ? -v : v;
    return true;
}

} // namespace

TSpinEdit::TSpinEdit(QWidget *parent) : QAbstractSpinBox(parent)
{
    setAccelerated(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    lineEdit()->setText(QString::number(FMin));
}

void TSpinEdit::SetRange(int min, int max)
{
    FMin = min;
    FMax = max < min ? min : max;
}

int TSpinEdit::Value() const
{
    qint64 v;
    if (!ReadWhole(Text(), v))
        return FMin;
    return static_cast<int>(std::clamp<qint64>(v, FMin, FMax));
}

void TSpinEdit::SetValue(int v) { lineEdit()->setText(QString::number(qBound(FMin, v, FMax))); }

QString TSpinEdit::Text() const { return lineEdit()->text(); }

void TSpinEdit::stepBy(int steps)
{
    qint64 v;
    qint64 base = ReadWhole(Text(), v) ? v : FMin;
    base = std::clamp<qint64>(base, FMin, FMax);
    SetValue(static_cast<int>(std::clamp<qint64>(base + steps, FMin, FMax)));
    selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    const int v = Value();
    StepEnabled e = StepNone;
    if (v < FMax)
        e |= StepUpEnabled;
    if (v > FMin)
        e |= StepDownEnabled;
    return e;
}

QValidator::State TSpinEdit::validate(QString &input, int &) const
{
    for (QChar c : input) {
        if (!((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u',' || c == u'.'))
            return QValidator::Invalid;
    }
    // Whatever is made of these characters is kept: the operator's text is sent as typed.
    return QValidator::Acceptable;
}

void TSpinEdit::fixup(QString &) const {}

void TSpinEdit::ClampTypedNumber()
{
    qint64 v;
    if (!ReadWhole(Text(), v))
        return;
    if (v < FMin)
        lineEdit()->setText(QString::number(FMin));
    else if (v > FMax)
        lineEdit()->setText(QString::number(FMax));
}

void TSpinEdit::focusOutEvent(QFocusEvent *e)
{
    ClampTypedNumber();
    QAbstractSpinBox::focusOutEvent(e);
}
