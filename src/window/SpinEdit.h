#pragma once
// A spin box whose value is its text read as an integer (its minimum when the
// text is not one), clamped into minimum..maximum unless the two are equal, in
// which case any integer is kept.

#include <QSpinBox>

namespace morvane {

class TSpinEdit : public QSpinBox {
    Q_OBJECT
    Q_PROPERTY(int minValue READ MinValue WRITE setMinValue)
    Q_PROPERTY(int maxValue READ MaxValue WRITE setMaxValue)
    Q_PROPERTY(int spinValue READ Value WRITE setSpinValue)

public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int MinValue() const noexcept { return minValue_; }
    int MaxValue() const noexcept { return maxValue_; }
    int Value() const;
    void SetValue(int value);

    // The setters the form file calls.
    void setMinValue(int value);
    void setMaxValue(int value);
    void setSpinValue(int value) { SetValue(value); }

protected:
    // Any integer may be typed, in range or not: the value is clamped when the field
    // is left or Enter is pressed, never by refusing a keystroke half-way through.
    QValidator::State validate(QString& input, int& pos) const override;
    int valueFromText(const QString& text) const override;
    // Leaving the field with a text that is not an integer gives the minimum.
    void fixup(QString& input) const override;

private:
    int Clamp(int value) const;
    void UpdateRange();

    int minValue_{0};
    int maxValue_{0};
};

} // namespace morvane
