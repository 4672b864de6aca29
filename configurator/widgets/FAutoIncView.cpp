#include "configurator/widgets/FAutoIncView.h"

#include "configurator/widgets/ParamControls.h"
#include "platform/qt/QtDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

class AutoIncDialog : public QDialog {
public:
    AutoIncDialog(TfmAutoInc& model, QWidget* parent)
        : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
          model_(model)
    {
        setObjectName("fmAutoInc");
        setWindowTitle(QString::fromStdString(TfmAutoInc::Caption()));
        auto* form = new QFormLayout;
        for (int i = 0; i < AutoIncEditCount; ++i) {
            const auto which = static_cast<TAutoIncValue>(i);
            auto* spin = new TSpinEdit(this);
            spin->setObjectName(AutoIncEdits[i].Name);
            spin->setAlignment(Qt::AlignRight);
            spin->setRange(static_cast<double>(model_.Minimum(which)), static_cast<double>(model_.Maximum(which)));
            spin->setValue(static_cast<double>(model_.Value(which)));
            form->addRow(new QLabel(QString::fromUtf8(AutoIncEdits[i].Caption), this), spin);
            spins_[i] = spin;
        }
        auto* buttons = new QDialogButtonBox(this);
        QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
        ok->setObjectName("btOK");
        ok->setDefault(true);
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole)->setObjectName("btCancel");
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* column = new QVBoxLayout(this);
        column->addLayout(form);
        column->addWidget(buttons);
    }

    void accept() override
    {
        for (int i = 0; i < AutoIncEditCount; ++i) {
            spins_[i]->interpretText();
            model_.SetValue(static_cast<TAutoIncValue>(i), static_cast<int64_t>(spins_[i]->value()));
        }
        QDialog::accept();
    }

private:
    TfmAutoInc& model_;
    TSpinEdit* spins_[AutoIncEditCount] = {};
};

} // namespace

QDialog* BuildAutoIncDialog(TfmAutoInc& model, QWidget* parent) { return new AutoIncDialog(model, parent); }

std::shared_ptr<const platform::FormView> AutoIncView() { return platform::qt::MakeFormViewOf(&BuildAutoIncDialog); }
