#pragma once

#include "configurator/core/MessageLog.h"

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

// The main window's message list: a list view over a TMessageLog, newest line first,
// each drawn with its time stamp in the window text colour and the rest in the colour
// of its kind.

// The log as a list model: the display text is the whole line; kKindRole the kind,
// kStampRole the number of characters drawn in the window text colour.
class TMessageLogModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kKindRole = Qt::UserRole + 1;
    static constexpr int kStampRole = Qt::UserRole + 2;

    explicit TMessageLogModel(TMessageLog::Clock clock = {}, QObject* parent = nullptr);

    const TMessageLog& Log() const { return log_; }
    void Add(const std::string& text, int kind);
    void AddLine(const std::string& line, int kind);
    void Delete(const std::vector<int>& rows);
    void Clear();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    TMessageLog log_;
};

// Draws a line: the item filled, 2 pixels of left margin; a selected line in one piece
// in the highlight text colour; otherwise the stamp (up to its first blank) in the
// window text colour and the rest in the kind's colour: 0 window text, 1 red,
// 2 purple (128, 0, 128). Every line is 16 pixels high and as wide as its text + 2.
class TMessageLogDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QColor KindColor(int kind, const QPalette& palette);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The list view. Keys act on release: Delete removes the selected lines, Ctrl+A selects
// all, Ctrl+C (Ctrl the only modifier) puts the selected lines, each followed by CR LF,
// on the clipboard; a double click empties the list.
class TMessageList : public QListView {
    Q_OBJECT
public:
    explicit TMessageList(QWidget* parent = nullptr, TMessageLog::Clock clock = {});

    TMessageLogModel& Model() { return *model_; }
    const TMessageLog& Log() const { return model_->Log(); }
    // A received message, stamped, at the top.
    void Add(const std::string& text, int kind) { model_->Add(text, kind); }
    // A line without a time stamp, at the top.
    void AddLine(const std::string& line, int kind) { model_->AddLine(line, kind); }
    // The selected rows in list order.
    std::vector<int> SelectedRows() const;
    void DeleteSelected();
    void CopySelected();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    TMessageLogModel* model_;
};
