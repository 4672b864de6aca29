#include "tests/support/TreeViewFixture.h"

#include "tests/support/QtTestApp.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace testsupport {

TreeViewWindow::TreeViewWindow() = default;

TreeViewWindow::~TreeViewWindow() { Close(); }

void TreeViewWindow::Open(int width, int height, bool stretchHost)
{
    qttest::App();
    window = std::make_unique<QWidget>();
    auto* layout = new QHBoxLayout(window.get());
    doc = std::make_unique<TDocTree>(registry);
    view = new TDocTreeView(*doc, window.get());
    frameHost = new QWidget(window.get());
    frameHost->setLayout(new QVBoxLayout);
    layout->addWidget(view);
    layout->addWidget(frameHost, stretchHost ? 1 : 0);
    doc->SetHost(this);
    doc->SetFrameWidgets(frameHost, view);
    window->resize(width, height);
    window->show();
    doc->CreateDocumentForModel(0, "Zumo2");
}

void TreeViewWindow::Close()
{
    window.reset();
    doc.reset();
}

void TreeViewWindow::FrameShown(TShownFrame& frame)
{
    frameHost->layout()->addWidget(frame.Widget());
    frame.Widget()->show();
}

QWidget* TreeViewWindow::SelectNode(TNodeTree* node)
{
    view->setCurrentItem(view->ItemOf(node));
    Process();
    doc->UpdateFrameControls();
    return doc->Frame() ? doc->Frame()->Widget() : nullptr;
}

void TreeViewWindow::Process()
{
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

} // namespace testsupport
