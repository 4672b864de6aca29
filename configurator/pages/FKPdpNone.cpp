#include "configurator/pages/FKPdpNone.h"

#include "configurator/widgets/PageWidgets.h"
#include "configurator/widgets/ParamControls.h"
#include "model/uZumo_Classes.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QVBoxLayout>

TfrKPdpNone::TfrKPdpNone(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TParamFrame(tree, device, parent)
{
    setObjectName("frKPdpNone");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    rg013 = NewRadioGroup(this, "rg013", {}, {"Binary Hex", "ASCII Hex"});
    column->addWidget(rg013);

    auto* values = new QWidget(this);
    values->setObjectName("paValues");
    auto* grid = new QGridLayout(values);
    grid->setContentsMargins(0, 0, 0, 0);
    edTSLink = NewSpin(values, "edTSLink");
    edTITLink = NewSpin(values, "edTITLink");
    ed0004 = NewSpin(values, "ed0004");
    ed0013 = NewSpin(values, "ed0013");
    ed0014 = NewSpin(values, "ed0014");
    ed0015 = NewSpin(values, "ed0015");
    ed055 = NewSpin(values, "ed055", 0, 65535);
    AddRow(grid, edTSLink, "ВАК наличия связи");
    AddRow(grid, edTITLink, "ВАК качества связи");
    AddRow(grid, ed0004, "Таймаут ожидания пакета", "мс");
    AddRow(grid, ed0013, "Время приостановки опроса", "с");
    AddRow(grid, ed0014, "Повторов опроса");
    AddRow(grid, ed0015, "Ответов для наличия связи");
    AddRow(grid, ed055, "Задержка начала передачи", "мс");
    grid->setColumnStretch(3, 1);
    column->addWidget(values);

    ch012 = NewCheck(this, "ch012", "Прослушивание");
    ch020 = NewCheck(this, "ch020", "Признак достоверности IV");
    ch021 = NewCheck(this, "ch021", "Признак достоверности NT");
    column->addWidget(ch012);
    column->addWidget(ch020);
    column->addWidget(ch021);
    column->addStretch(1);
}

void TfrKPdpNone::Load(TFieldLst* list)
{
    BindControls({rg013, edTSLink, edTITLink, ed0004, ed0013, ed0014, ed0015, ed055, ch012, ch020, ch021},
                 {"013", "ts_link", "tit_link", "0004", "0013", "0014", "0015", "055", "012", "020", "021"});
    TParamFrame::Load(list);
}
