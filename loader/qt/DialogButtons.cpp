#include "loader/qt/DialogButtons.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

void ConnectDialogButtons(QDialog& dialog, std::initializer_list<TDialogButton> buttons, QPushButton* ok,
                          std::function<bool()> canClose, QPushButton* cancel, std::function<void()> refresh)
{
    for (const TDialogButton& b : buttons) {
        QObject::connect(b.Button, &QPushButton::clicked, &dialog, LibrarySlot([action = b.Action, refresh] {
                             action();
                             refresh();
                         }));
    }
    QObject::connect(ok, &QPushButton::clicked, &dialog,
                     LibrarySlot([&dialog, canClose = std::move(canClose), refresh] {
                         const bool close = canClose();
                         refresh();
                         if (close) dialog.accept();
                     }));
    QObject::connect(cancel, &QPushButton::clicked, &dialog, LibrarySlot([&dialog] { dialog.reject(); }));
}

void LayOutDialog(QDialog& dialog, QLayout* top, std::initializer_list<QPushButton*> tools, QPushButton* ok,
                  QPushButton* cancel)
{
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : tools) buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
}
