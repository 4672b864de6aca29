#include "loader/qt/FAddrView.h"

#include "loader/qt/DialogButtons.h"
#include "loader/dialogs/FExceptionInfo.h"
#include "loader/qt/FExceptionInfoView.h"
#include "platform/ErrorDisplay.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QSpinBox* SpinBox(const char* name, int base, int value)
{
    auto* box = new QSpinBox;
    box->setObjectName(name);
    box->setRange(0, kAddrMaxValue);
    box->setDisplayIntegerBase(base);
    box->setValue(value);
    box->setMinimumWidth(120);
    return box;
}

// The left that centres a window of that width over the parent (halves toward zero).
int CentredLeft(const QWidget* parent, int width) { return parent->x() + (parent->width() - width) / 2; }

} // namespace

TfmAddr::TfmAddr(TfmAddrModel& model, QWidget* parent) : QDialog(parent), model_(model)
{
    setObjectName("TfmAddr");
    setWindowTitle(Q(model_.Caption()));
    MarkLibraryForm(this);

    addr_ = SpinBox("edAddr", 16, model_.Start());
    count_ = SpinBox("edCount", 10, model_.Count());
    length_ = new QComboBox;
    length_->setObjectName("cbLength");
    for (const char* unit : kAddrUnitNames) length_->addItem(QString::fromUtf8(unit));
    length_->setCurrentIndex(model_.UnitIndex() >= 0 && model_.UnitIndex() < length_->count() ? model_.UnitIndex() : 0);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QString::fromUtf8("Начальный адрес: ")), 0, 0);
    grid->addWidget(addr_, 0, 1);
    grid->addWidget(new QLabel("Hex"), 0, 2);
    grid->addWidget(new QLabel(QString::fromUtf8("Количество: ")), 1, 0);
    grid->addWidget(count_, 1, 1);
    grid->addWidget(length_, 1, 2);

    auto* ok = new QPushButton("OK");
    ok->setObjectName("OkButton");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("CancelButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    if (model_.WindowState() == 2) setWindowState(Qt::WindowMaximized);
    adjustSize();
    if (parent) move(CentredLeft(parent, width()), parent->y() + (parent->height() - height()) / 2);

    connect(ok, &QPushButton::clicked, this, LibrarySlot([this] {
                model_.SetStart(addr_->value());
                model_.SetCount(count_->value());
                model_.SetUnitIndex(length_->currentIndex());
                accept();
            }));
    connect(cancel, &QPushButton::clicked, this, LibrarySlot([this] { reject(); }));
}

void TfmAddr::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (parentWidget()) move(CentredLeft(parentWidget(), width()), y());
    model_.SetWindowState(isMaximized() ? 2 : isMinimized() ? 1 : 0);
}

std::shared_ptr<const platform::FormView> AddrFormView()
{
    return platform::qt::MakeFormView([](platform::FormModel& model, QWidget* parent) -> QDialog* {
        auto* area = dynamic_cast<TfmAddrModel*>(&model);
        return area ? new TfmAddr(*area, parent) : nullptr;
    });
}

void InstallAddrFormView() { SetAddrFormView(AddrFormView()); }

void RemoveAddrFormView() { SetAddrFormView(nullptr); }
