#include "configurator/widgets/QtClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

bool TQtClipboard::HasText() const
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasText();
}

std::string TQtClipboard::Text() const { return QApplication::clipboard()->text().toStdString(); }

void TQtClipboard::SetText(const std::string& text)
{
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(QString::fromStdString(text));
}
