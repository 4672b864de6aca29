#include "configurator/pages/FamilyRoleFrame.h"

#include <QVBoxLayout>

TFamilyRoleFrame::TFamilyRoleFrame(QTreeWidget* tree, TDevice* device, TDeviceFamily family, TFamilyRolePage kind,
                                   const TPageTable& table, QWidget* parent)
    : TParamFrame(tree, device, parent), device_(device), family_(family), kind_(kind)
{
    setObjectName(QString("fr") + (FamilyRolePageName(family, kind) + 3));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    made_ = BuildPage(*this, *column, table);
    column->addStretch(1);
}
