#include "loader/qt/FParamView.h"

#include "platform/qt/WinUtils.h"
#include "loader/qt/DialogButtons.h"
#include "loader/dialogs/FExceptionInfo.h"
#include "loader/qt/FExceptionInfoView.h"
#include "loader/qt/CmdDlgView.h"
#include "platform/ErrorDisplay.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString U(const char* text) { return QString::fromUtf8(text); }

QLineEdit* Edit(const char* name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

QComboBox* Combo(const char* name)
{
    auto* combo = new QComboBox;
    combo->setObjectName(name);
    return combo;
}

QCheckBox* Check(const char* name, const char* text)
{
    auto* box = new QCheckBox(U(text));
    box->setObjectName(name);
    return box;
}

QPushButton* Button(const char* name, const char* text)
{
    auto* button = new QPushButton(U(text));
    button->setObjectName(name);
    return button;
}

// A control followed by its unit.
QWidget* WithUnit(QWidget* control, const char* unit)
{
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(control, 1);
    row->addWidget(new QLabel(U(unit)));
    return box;
}

QStringList Items(const std::vector<std::string>& items)
{
    QStringList list;
    for (const std::string& item : items) list << Q(item);
    return list;
}

QStringList ComboItems(const QComboBox* combo)
{
    QStringList list;
    for (int i = 0; i < combo->count(); ++i) list << combo->itemText(i);
    return list;
}

// Sets a combo's items and choice where they differ from what it shows.
void SetCombo(QComboBox* combo, const QStringList& items, int index)
{
    if (ComboItems(combo) != items) {
        combo->clear();
        combo->addItems(items);
    }
    if (combo->currentIndex() != index) combo->setCurrentIndex(index);
}

void SetText(QLineEdit* edit, const std::string& text)
{
    if (edit->text() != Q(text)) edit->setText(Q(text));
}

void SetChecked(QCheckBox* box, bool checked)
{
    if (box->isChecked() != checked) box->setChecked(checked);
}

} // namespace

TfmParam::TfmParam(TfmParamModel& model, QWidget* parent) : QDialog(parent), model_(model)
{
    setObjectName("TfmParam");
    setWindowTitle(U("Параметры"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // Boxes and the script editor belong to this dialog, which stays on top.
    model_.SetOwner(platform::qt::RegisterWidget(this));
    MarkLibraryForm(this);
    Build();
    Apply();
    Connect();
}

void TfmParam::Build()
{
    list_ = new QListWidget;
    list_->setObjectName("DeviceListBox");
    list_->setMinimumWidth(150);

    name_ = Edit("NameEdit");
    name_->setMaxLength(kDeviceNameMaxLength);
    name_->setValidator(new QRegularExpressionValidator(QRegularExpression("[^;]*"), name_));
    type_ = Combo("TypeCombo");
    connection_ = Combo("FileNameCombo");
    connection_->setToolTip(U(kAutoComHint));

    const auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
    baud_ = Combo("BaudRateCombo");
    scriptBaud_ = Combo("ComboBoxScriptBaudRate");
    scriptBaud_->setEditable(true);
    scriptBaud_->setInsertPolicy(QComboBox::NoInsert);
    scriptBaud_->setValidator(digits);
    scriptBaud_->addItems(Items(BaudRateItems()));
    auto* comPage = new QWidget;
    auto* comForm = new QFormLayout(comPage);
    comForm->addRow(U("Скорость:"), WithUnit(baud_, "бит/с"));
    comForm->addRow(U("Скорость для скрипта:"), WithUnit(scriptBaud_, "бит/с"));

    host_ = Edit("HostEdit");
    ipPort_ = Edit("IPPortEdit");
    ipPort_->setValidator(new QRegularExpressionValidator(
        QRegularExpression("|[0-9]{1,4}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5]"), ipPort_));
    udp_ = Check("chUDP", "UDP");
    tftp_ = Check("chTFTP", "Запись прошивки по TFTP");
    tftp_->setToolTip(U(kTftpHint));
    auto* tcpPage = new QWidget;
    auto* tcpForm = new QFormLayout(tcpPage);
    tcpForm->addRow(U("Адрес IP:"), host_);
    tcpForm->addRow(U("Порт:"), ipPort_);
    tcpForm->addRow(udp_);
    tcpForm->addRow(tftp_);

    notebook_ = new QTabWidget;
    notebook_->setObjectName("ParamNotebook");
    notebook_->addTab(comPage, "COM");
    notebook_->addTab(tcpPage, "TCP/IP");

    handshake_ = Check("HandShakeCheckBox", "Рукопожатие");
    period_ = Edit("HandShakePeriodEdit");
    period_->setValidator(digits);
    auto* handshakeRow = new QHBoxLayout;
    handshakeRow->addWidget(handshake_);
    handshakeRow->addStretch(1);
    handshakeRow->addWidget(new QLabel(U("Период:")));
    handshakeRow->addWidget(WithUnit(period_, "мс"));

    script_ = Combo("ScriptComboBox");
    editScripts_ = Button("EditScriptButton", "Изменить...");
    auto* scriptGroup = new QGroupBox(U("Скрипт"));
    scriptGroup->setObjectName("ScriptGroup");
    auto* scriptRow = new QHBoxLayout(scriptGroup);
    scriptRow->addWidget(script_, 1);
    scriptRow->addWidget(editScripts_);

    retry_ = new QSpinBox;
    retry_->setObjectName("edRetryCount");
    retry_->setRange(kMinRetryCount, kMaxRetryCount);
    auto* retryRow = new QHBoxLayout;
    retryRow->addWidget(new QLabel(U("Число повторов при ошибке")));
    retryRow->addStretch(1);
    retryRow->addWidget(retry_);

    panel_ = new QWidget;
    panel_->setObjectName("ParamPanel");
    auto* panelLayout = new QVBoxLayout(panel_);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    auto* head = new QFormLayout;
    head->addRow(U("Имя:"), name_);
    head->addRow(U("Tип процессора:"), type_);
    head->addRow(U("Подключение:"), connection_);
    panelLayout->addLayout(head);
    panelLayout->addWidget(notebook_);
    panelLayout->addLayout(handshakeRow);
    panelLayout->addWidget(scriptGroup);
    panelLayout->addLayout(retryRow);
    panelLayout->addStretch(1);

    add_ = Button("AddButton", "Добавить");
    remove_ = Button("RemoveButton", "Удалить");
    up_ = Button("UpButton", "Вверх");
    down_ = Button("DownButton", "Вниз");
    ok_ = Button("OkButton", "ОК");
    ok_->setDefault(true);
    cancel_ = Button("CancelButton", "Отмена");

    auto* top = new QHBoxLayout;
    top->addWidget(list_);
    top->addWidget(panel_, 1);
    LayOutDialog(*this, top, {add_, remove_, up_, down_}, ok_, cancel_);
}

void TfmParam::Connect()
{
    const auto changed = [this](auto&&...) { Changed(); };
    connect(name_, &QLineEdit::textEdited, this, LibrarySlot(changed));
    connect(host_, &QLineEdit::textEdited, this, LibrarySlot(changed));
    connect(ipPort_, &QLineEdit::textEdited, this, LibrarySlot(changed));
    connect(period_, &QLineEdit::textEdited, this, LibrarySlot(changed));
    for (QComboBox* combo : {type_, connection_, baud_, script_})
        connect(combo, &QComboBox::currentIndexChanged, this, LibrarySlot(changed));
    connect(scriptBaud_, &QComboBox::editTextChanged, this, LibrarySlot(changed));
    for (QCheckBox* box : {udp_, tftp_, handshake_}) connect(box, &QCheckBox::toggled, this, LibrarySlot(changed));
    connect(retry_, &QSpinBox::valueChanged, this, LibrarySlot(changed));

    connect(list_, &QListWidget::currentRowChanged, this, LibrarySlot([this](int row) {
                if (loading_) return;
                model_.SetItemIndex(row);
                Apply();
            }));
    ConnectDialogButtons(*this,
                         {
                             {add_, [this] { model_.Add(); }},
                             {remove_, [this] { model_.Remove(); }},
                             {up_, [this] { model_.Up(); }},
                             {down_, [this] { model_.Down(); }},
                             {editScripts_, [this] { model_.EditScripts(ScriptFormView()); }},
                         },
                         ok_, [this] { return model_.CanClose(); }, cancel_, [this] { Apply(); });
}

void TfmParam::Changed()
{
    if (loading_) return;
    model_.OnParamsChange(Collect());
    Apply();
}

TParamControls TfmParam::Collect() const
{
    TParamControls v = model_.Controls();
    v.Name = name_->text().toStdString();
    v.Chip = type_->currentIndex();
    v.Connection = connection_->currentIndex();
    v.BaudRate = baud_->currentIndex();
    v.ScriptBaudRate = scriptBaud_->currentText().toStdString();
    v.Host = host_->text().toStdString();
    v.IpPort = ipPort_->text().toStdString();
    v.Udp = udp_->isChecked();
    v.Tftp = tftp_->isChecked();
    v.Handshake = handshake_->isChecked();
    v.HandshakePeriod = period_->text().toStdString();
    v.Script = script_->currentIndex();
    v.RetryCount = retry_->value();
    return v;
}

void TfmParam::Apply()
{
    loading_ = true;
    QStringList texts;
    for (int i = 0; i < model_.Count(); ++i) texts << Q(model_.ItemText(i));
    QStringList shown;
    for (int i = 0; i < list_->count(); ++i) shown << list_->item(i)->text();
    if (shown.size() != texts.size()) {
        list_->clear();
        list_->addItems(texts);
    } else {
        for (int i = 0; i < texts.size(); ++i)
            if (shown[i] != texts[i]) list_->item(i)->setText(texts[i]);
    }
    if (list_->currentRow() != model_.ItemIndex()) list_->setCurrentRow(model_.ItemIndex());

    const TParamControls& c = model_.Controls();
    EnableChildren(panel_, c.Enabled);
    SetText(name_, c.Name);
    SetCombo(type_, Items(c.Chips), c.Chip);
    QStringList connections;
    for (const TConnectionItem& item : c.Connections) connections << Q(item.Text);
    SetCombo(connection_, connections, c.Connection);
    const int page = c.ComPage ? 0 : 1;
    notebook_->setTabEnabled(page, true);
    notebook_->setTabEnabled(1 - page, false);
    if (notebook_->currentIndex() != page) notebook_->setCurrentIndex(page);
    SetCombo(baud_, Items(c.BaudRates), c.BaudRate);
    if (scriptBaud_->currentText() != Q(c.ScriptBaudRate)) scriptBaud_->setEditText(Q(c.ScriptBaudRate));
    SetText(host_, c.Host);
    SetText(ipPort_, c.IpPort);
    SetChecked(udp_, c.Udp);
    SetChecked(tftp_, c.Tftp);
    SetChecked(handshake_, c.Handshake);
    SetText(period_, c.HandshakePeriod);
    SetCombo(script_, Items(c.Scripts), c.Script);
    if (c.Enabled) script_->setEnabled(c.ScriptsEnabled);
    if (retry_->value() != c.RetryCount) retry_->setValue(c.RetryCount);

    remove_->setEnabled(model_.RemoveEnabled());
    up_->setEnabled(model_.UpEnabled());
    down_->setEnabled(model_.DownEnabled());
    ok_->setEnabled(model_.OkEnabled());
    loading_ = false;
}

void TfmParam::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

std::shared_ptr<const platform::FormView> ParamFormView()
{
    return platform::qt::MakeFormView([](platform::FormModel& model, QWidget* parent) -> QDialog* {
        auto* settings = dynamic_cast<TfmParamModel*>(&model);
        return settings ? new TfmParam(*settings, parent) : nullptr;
    });
}

bool ShowConnectionSettings(TLoaderCore& core, std::vector<std::string>& devices, int& index)
{
    return EditConnectionSettings(TParamEnvironment::ForCore(core), ParamFormView(), devices, index);
}
