#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "platform/Tick.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const auto started = platform::GetTickCount();
    (void)started;
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Mirvak"));
    auto* label = new QLabel(QStringLiteral("Конфигуратор ещё не построен."), &window);
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(24);
    window.setCentralWidget(label);
    window.resize(480, 200);
    window.show();
    return app.exec();
}
