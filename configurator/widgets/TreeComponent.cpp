#include "configurator/widgets/TreeComponent.h"

#include "model/Mirvak_const.h"
#include "model/uZumo2.h"

TTreeComponent::TTreeComponent(Hooks hooks, TFrameRegistry& registry) : hooks_(std::move(hooks)), tree_(registry)
{
    tree_.SetHost(this);
}

TTreeComponent::~TTreeComponent()
{
    delete view_.data();
    tree_.SetHost(nullptr);
}

TDocTreeView* TTreeComponent::CreateView(QWidget* parent)
{
    if (!view_) {
        view_ = new TDocTreeView(tree_, parent);
        tree_.SetFrameWidgets(frameHost_, view_.data());
    }
    return view_.data();
}

void TTreeComponent::SetFrameHost(QWidget* host)
{
    frameHost_ = host;
    tree_.SetFrameWidgets(frameHost_, view_.data());
}

void TTreeComponent::AttachDocument(TDocument* document)
{
    tree_.AttachDocument(dynamic_cast<TZumo2Doc*>(document), hooks_.ModelCode ? hooks_.ModelCode() : 0);
}

void TTreeComponent::DocumentReplaced(TZumo2Doc* document)
{
    if (hooks_.DocumentReplaced) hooks_.DocumentReplaced(document);
}

void TTreeComponent::FrameShown(TShownFrame& frame)
{
    if (hooks_.PlaceFrame && frame.Widget()) hooks_.PlaceFrame(frame.Widget());
}

TCfgController::DocumentFactory ModelDocumentFactory()
{
    return [](int code) -> std::unique_ptr<TDocument> {
        return CreateModelDocument(code, code >= 0 && code < ModelCount ? ModelNames[code] : std::to_string(code));
    };
}
