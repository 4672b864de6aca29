#include "configurator/pages/FKPTK113Shield.h"

const TPageTable TfrKPTK113Shield::Table{"TfrKPTK113Shield", {}, {}};

TfrKPTK113Shield::TfrKPTK113Shield(QTreeWidget* tree, TDevice* device, QWidget* parent)
    : TProtocolFrame(tree, device, TProtocolPage::KPTK113Shield, Table, parent)
{
}
