#include "configurator/widgets/FrameHost.h"

#include <QAbstractScrollArea>

#include <algorithm>

int PageContentBottom(const QWidget* page)
{
    int bottom = 0;
    for (const QObject* child : page->children()) {
        const auto* w = qobject_cast<const QWidget*>(child);
        if (w && !w->isHidden() && !w->isWindow()) bottom = std::max(bottom, w->geometry().bottom() + 1);
    }
    return bottom;
}

void RepaintPage(QWidget* page)
{
    if (!page) return;
    page->update();
    for (QAbstractScrollArea* area : page->findChildren<QAbstractScrollArea*>()) area->viewport()->update();
}
