#include "configurator/widgets/FrameHost.h"

#include <QAbstractScrollArea>

void RepaintPage(QWidget* page)
{
    if (!page) return;
    page->update();
    for (QAbstractScrollArea* area : page->findChildren<QAbstractScrollArea*>()) area->viewport()->update();
}
