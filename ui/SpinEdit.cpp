#include "SpinEdit.h"

#include <QFocusEvent>
#include <QLineEdit>

#include <algorithm>

#include "SpinRules.h"

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
    FMax = std::max(min, max);
}

int TSpinEdit::Value() const { return SpinValue(Text().toStdString(), FMin, FMax); }

void TSpinEdit::SetValue(int v) { lineEdit()->setText(QString::number(std::clamp(v, FMin, FMax))); }

QString TSpinEdit::Text() const { return lineEdit()->text(); }

void TSpinEdit::SetText(const QString &text) { lineEdit()->setText(text); }

void TSpinEdit::stepBy(int steps)
{
    lineEdit()->setText(QString::fromStdString(SpinStep(Text().toStdString(), steps, FMin, FMax)));
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
    // Whatever is made of the accepted characters is kept: the operator's text is sent as typed.
    return SpinAccepts(input.toStdString()) ? QValidator::Acceptable : QValidator::Invalid;
}

void TSpinEdit::fixup(QString &) const {}

void TSpinEdit::focusOutEvent(QFocusEvent *e)
{
    const std::string text = Text().toStdString();
    const std::string clamped = SpinClampOnFocusOut(text, FMin, FMax);
    if (clamped != text)
        lineEdit()->setText(QString::fromStdString(clamped));
    QAbstractSpinBox::focusOutEvent(e);
}
