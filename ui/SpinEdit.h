// A spin edit that sends what the operator typed: the arrows step through
// the range, typed digits, signs and a decimal separator are accepted, and
// only a whole number outside the range is pulled to the nearer limit when
// the control loses focus. "+5", "007", "1,5" and "" stay as typed.
#pragma once

#include <QAbstractSpinBox>

class TSpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget *parent = nullptr);

    int MinValue() const { return FMin; }
    int MaxValue() const { return FMax; }
    void SetRange(int min, int max);
    // The value the text stands for; text that is no whole number gives the minimum.
    int Value() const;
    void SetValue(int v);
    QString Text() const;

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    void ClampTypedNumber();
    int FMin = 1;
    int FMax = 250;
};
