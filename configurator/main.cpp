#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include "configurator/FileVersion.h"
#include "configurator/StatusBar.h"
#include "platform/Tick.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    platform::qt::InstallQtDialogService();
    const auto started = platform::GetTickCount();
    (void)started;
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Mirvak"));
    auto* label = new QLabel(QStringLiteral("Конфигуратор ещё не построен."), &window);
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(24);
    window.setCentralWidget(label);
    auto* status = new TStatusBar(&window);
    status->SetPanelText(0, QStringLiteral("Готов"));
    window.setStatusBar(status);
    std::string versionError = "0.0.0.0";
    ShowVersionInStatusBar(status, "/proc/self/exe", versionError);
    platform::qt::RegisterMainWindow(&window);
    window.resize(480, 200);
    window.show();
    return app.exec();
}
