#include "configurator/widgets/ParamControls.h"

#include <QButtonGroup>
#include <QLocale>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cstdint>

TSpinEdit::TSpinEdit(QWidget* parent) : QDoubleSpinBox(parent)
{
    setDecimals(0);
    // Until a field or the design says otherwise: every whole number a field holds.
    setRange(INT32_MIN, UINT32_MAX);
    setKeyboardTracking(false);
}

void TSpinEdit::SetDesignedRange(double minimum, double maximum)
{
    designed_ = {minimum, maximum};
    setRange(minimum, maximum);
}

void TSpinEdit::SetFloat(bool floating, int decimals)
{
    if (float_ == floating && (!floating || this->decimals() == decimals)) return;
    float_ = floating;
    setDecimals(floating ? decimals : 0);
}

QString TSpinEdit::textFromValue(double value) const
{
    QString text = QDoubleSpinBox::textFromValue(value);
    if (float_) {
        // "1.2500000" reads "1.25", "3.0000000" reads "3".
        const QString point = locale().decimalPoint();
        if (const qsizetype at = text.lastIndexOf(point); at >= 0) {
            qsizetype end = text.size();
            while (end > at + point.size() && text[end - 1] == u'0') --end;
            if (end == at + point.size()) end = at;
            text.truncate(end);
        }
    }
    return text;
}

TRadioGroup::TRadioGroup(QWidget* parent) : TRadioGroup(QString(), parent) {}

TRadioGroup::TRadioGroup(const QString& title, QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this))
{
    new QVBoxLayout(this);
    connect(group_, &QButtonGroup::buttonToggled, this, &TRadioGroup::Toggled);
}

void TRadioGroup::SetItems(const QStringList& items)
{
    SetItemIndex(-1);
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    for (const QString& text : items) AddItem(text);
}

int TRadioGroup::AddItem(const QString& text)
{
    const int index = Count();
    auto* button = new QRadioButton(text, this);
    group_->addButton(button, index);
    layout()->addWidget(button);
    return index;
}

int TRadioGroup::Count() const
{
    return static_cast<int>(group_->buttons().size());
}

QRadioButton* TRadioGroup::Button(int index) const
{
    return qobject_cast<QRadioButton*>(group_->button(index));
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index < 0 || index >= Count()) index = -1;
    if (index == index_) return;
    if (index >= 0) {
        Button(index)->setChecked(true); // Toggled follows
        return;
    }
    // An exclusive group never unchecks its last button by itself.
    group_->setExclusive(false);
    if (QAbstractButton* checked = group_->checkedButton()) checked->setChecked(false);
    group_->setExclusive(true);
    index_ = -1;
    emit ItemIndexChanged(-1);
}

void TRadioGroup::Toggled(QAbstractButton* button, bool checked)
{
    const int id = group_->id(button);
    if (!checked || id == index_) return;
    index_ = id;
    emit ItemIndexChanged(id);
}

TIPAddressEdit::TIPAddressEdit(QWidget* parent) : QLineEdit(parent)
{
    setInputMask(QStringLiteral("000.000.000.000;_"));
}

QString TIPAddressEdit::Address() const
{
    const QString t = text();
    for (QChar c : t) {
        if (c != u'.') return t;
    }
    return {};
}
