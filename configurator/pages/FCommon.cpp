#include "configurator/pages/FCommon.h"

#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo2.h"
#include "platform/Format.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TfrCommon::TfrCommon(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent)
    : TParamFrame(tree, document, parent), document_(document)
{
    setObjectName("frCommon");
    auto* column = new QVBoxLayout(this);

    gbTimeCheck = NewGroup(this, "gbTimeCheck", {});
    auto* timeCheck = new QGridLayout(gbTimeCheck);
    ch022 = NewCheck(gbTimeCheck, "ch022", "Контроль по функции");
    ch023 = NewCheck(gbTimeCheck, "ch023", "Контроль по PPS");
    ch028 = NewCheck(gbTimeCheck, "ch028", "Автоматическая коррекция часов");
    timeCheck->addWidget(ch022, 0, 0, 1, 3);
    timeCheck->addWidget(ch023, 1, 0, 1, 3);
    timeCheck->addWidget(ch028, 2, 0, 1, 3);
    edPeriodCheckTime = NewSpin(gbTimeCheck, "edPeriodCheckTime");
    AddRow(timeCheck, edPeriodCheckTime, "Период контроля", "мин.");
    timeCheck->setColumnStretch(3, 1);
    column->addWidget(gbTimeCheck);

    auto* vac = new QWidget(this);
    vac->setObjectName("paVAC_TU1");
    auto* vacRow = new QGridLayout(vac);
    vacRow->setContentsMargins(0, 0, 0, 0);
    edVAC_TU1 = NewSpin(vac, "edVAC_TU1");
    lbVAC_TU1 = AddRow(vacRow, edVAC_TU1, "ВАК ТУ1").Caption;
    vacRow->setColumnStretch(3, 1);
    column->addWidget(vac);

    chQuality = NewCheck(this, "chQuality", "Выдача недостоверности сигналов при потере связи с КП");
    column->addWidget(chQuality);

    gbBuffer = NewGroup(this, "gbBuffer", {});
    auto* buffer = new QGridLayout(gbBuffer);
    edBufTS = NewSpin(gbBuffer, "edBufTS");
    edBufTIT = NewSpin(gbBuffer, "edBufTIT");
    edBufTSDPI = NewSpin(gbBuffer, "edBufTSDPI");
    AddRow(buffer, edBufTS, "Буфер ТС");
    AddRow(buffer, edBufTIT, "Буфер ТИТ");
    AddRow(buffer, edBufTSDPI, "Буфер TSDP");
    buffer->setColumnStretch(3, 1);
    column->addWidget(gbBuffer);

    auto* time = new QWidget(this);
    time->setObjectName("paTime");
    auto* timeRows = new QGridLayout(time);
    timeRows->setContentsMargins(0, 0, 0, 0);
    seTimeOffset = NewSpin(time, "seTimeOffset");
    AddRow(timeRows, seTimeOffset, "При установке времени добавлять\n(n часов)");
    cbInverAll_Ts = NewCheck(time, "cbInverAll_Ts", "Инвертировать все ТС");
    timeRows->addWidget(cbInverAll_Ts, timeRows->rowCount(), 0, 1, 3);
    cbSetTimeTest = NewCheck(time, "cbSetTimeTest", "Ретрансляция времени на XPORT");
    timeRows->addWidget(cbSetTimeTest, timeRows->rowCount(), 0, 1, 3);
    seXPORT_settime_p = NewSpin(time, "seXPORT_settime_p");
    AddRow(timeRows, seXPORT_settime_p, "Период установки времени XPORT\n(мин.)");
    timeRows->setColumnStretch(3, 1);
    column->addWidget(time);

    paNet = new QWidget(this);
    paNet->setObjectName("paNet");
    auto* net = new QHBoxLayout(paNet);
    net->setContentsMargins(0, 0, 0, 0);
    const auto addresses = [&](const char* name, const char* title, const char* ip, const char* mask,
                               const char* gateway, TIPAddressEdit*& edIp, TIPAddressEdit*& edMask,
                               TIPAddressEdit*& edGateway) {
        QGroupBox* group = NewGroup(paNet, name, title);
        auto* rows = new QGridLayout(group);
        edIp = NewIPEdit(group, ip);
        edMask = NewIPEdit(group, mask);
        edGateway = NewIPEdit(group, gateway);
        AddRow(rows, edIp, "IP адрес");
        AddRow(rows, edMask, "Маска");
        AddRow(rows, edGateway, "Шлюз");
        net->addWidget(group);
        return group;
    };
    gbNet1 = addresses("gbNet1", "Параметры сети 1", "ed050", "ed052", "ed054", ed050, ed052, ed054);
    gbNet2 = addresses("gbNet2", "Параметры сети 2", "ed051", "ed053", "ed055", ed051, ed053, ed055);
    net->addStretch(1);
    paNet->hide();
    column->addWidget(paNet);
    column->addStretch(1);
}

void TfrCommon::Load(TFieldLst* list)
{
    capacity_ = EventBufferCapacity(*document_);
    gbBuffer->setTitle(QStr(EventBufferCaption(capacity_)));
    // Families with a network or other time checks arrange the page here.

    BindControls({ch022, ch023, chQuality, ch028, edBufTS, edBufTIT, edPeriodCheckTime, ed050, ed052, ed054, ed051,
                  ed053, ed055},
                 {"022", "023", "024", "028", "041", "042", "044", "050", "052", "054", "051", "053", "055"});
    // The command channel address of the documents that have one is bound here; the
    // others do not show it.
    edVAC_TU1->hide();
    lbVAC_TU1->hide();
    edVAC_TU1->parentWidget()->hide();
    BindControls({seTimeOffset, cbInverAll_Ts, cbSetTimeTest, edBufTSDPI, seXPORT_settime_p},
                 {"time_offset", "inv_all_ts", "settime_test", "TS_DPI_buf_size", "XPORT_settime_p"});
    TParamFrame::Load(list);

    SetChangeHandler(edBufTS, [this](const void*) { BufferChanged(TBuffer::TS); });
    SetChangeHandler(edBufTIT, [this](const void*) { BufferChanged(TBuffer::TIT); });
    SetChangeHandler(edBufTSDPI, [this](const void*) { BufferChanged(TBuffer::TSDP); });
    OnRejected = TValueRejectedEvent::Of<&TfrCommon::Rejected>(this);
}

void TfrCommon::BufferChanged(TBuffer changed)
{
    // The buffer the rule lowers does not lower the other one in turn: the value just
    // entered stays.
    if (applyingRule_) return;
    TField* ts = FieldOf(edBufTS);
    TField* tit = FieldOf(edBufTIT);
    if (!ts || !tit) return;
    const auto change = BufferRule(changed, ts->GetValue().ToInt64(), tit->GetValue().ToInt64(), capacity_);
    if (!change) return;
    TSpinEdit* target = change->Target == TBuffer::TS ? edBufTS : edBufTIT;
    applyingRule_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{applyingRule_};
    target->setValue(change->Value);
}

void TfrCommon::Rejected(const void* sender, TField*, const Variant& value)
{
    if (sender != edVAC_TU1) return;
    PostLogMessage(platform::Format("Значение ВАК(%s) ТУ уже занято", value.ToString().c_str()), lkError);
    throw EDevChannelRangeCheckFailedException("ВАК ТУ1 пересекается с общим списком каналов ТУ");
}
