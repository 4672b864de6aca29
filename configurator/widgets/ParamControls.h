#pragma once

#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLineEdit>

#include <optional>
#include <utility>

class QAbstractButton;
class QButtonGroup;
class QRadioButton;

// The editing controls of the frames that Qt has no exact match for. Combo boxes,
// check boxes and edits are Qt's own.

// A numeric spin edit over the whole range of any field type: whole numbers by
// default (an unsigned 32-bit value included), floating values once switched. Typed
// text takes effect when editing finishes (Enter, focus leaving, a step), not per key.
class TSpinEdit : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    // The range the frame's design gives, used while the bound field has no limits of
    // its own; without one the field's type decides.
    void SetDesignedRange(double minimum, double maximum);
    const std::optional<std::pair<double, double>>& DesignedRange() const { return designed_; }

    // Whole numbers, or floating values with up to `decimals` decimals (FloatDecimals
    // unless given: the grids take 4, the scale calculator 3).
    void SetFloat(bool floating, int decimals = FloatDecimals);
    bool IsFloat() const { return float_; }
    static constexpr int FloatDecimals = 7;

    QString textFromValue(double value) const override;

private:
    std::optional<std::pair<double, double>> designed_;
    bool float_ = false;
};

// A captioned group of radio buttons of which at most one is checked; the index of
// the checked one is the group's value (-1: none).
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);
    explicit TRadioGroup(const QString& title, QWidget* parent = nullptr);

    // Replaces the buttons by one per text; none is checked afterwards.
    void SetItems(const QStringList& items);
    int AddItem(const QString& text);
    int Count() const;
    QRadioButton* Button(int index) const;

    int ItemIndex() const { return index_; }
    // An index outside the buttons checks none.
    void SetItemIndex(int index);

signals:
    // The checked button changed, by a click or by SetItemIndex.
    void ItemIndexChanged(int index);

private:
    void Toggled(QAbstractButton* button, bool checked);

    QButtonGroup* group_;
    int index_ = -1;
};

// A line edit for an IPv4 address in dotted form, each part up to three digits.
// Text() is the address without the mask's blanks; an empty edit reads "".
class TIPAddressEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TIPAddressEdit(QWidget* parent = nullptr);

    // The address as typed ("192.168.1.10"), "" when no digit is entered.
    QString Address() const;
};
