// A spin edit that sends what the operator typed; its rules (what it
// accepts, clamps on losing focus and steps to) are the engine's SpinRules.
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
    void SetText(const QString &text);

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

protected:
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    int FMin = 1;
    int FMax = 250;
};
