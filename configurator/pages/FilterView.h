#pragma once

#include "configurator/rules/Filter.h"

#include <QDialog>

#include <array>
#include <memory>

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QValueAxis;

// The Qt view of the filter design dialog "Расчет коэффициентов фильтра" over its model
// (configurator/rules/Filter.h). GUI thread only.
//
// Spin edits fs1SE .. ws2SE with their captions and ranges; buttons CalcBtn "Расчет",
// AutoFillBtn "Авто", ClearBtn "Без фильтра", OKBtn "OK" (accepts after the model's
// OKBtnClick) and CancelBtn "Отмена" (rejects); the chart AFC "АЧХ фильтра" with the
// axes "F, Hz" and "A, dB" and the line series AFC_series, zoomed with a rubber band
// and reset by a double click (AFCDblClick); the group "Информация" with
// "Неравномерность:", fp_lbl and fs_lbl. Every activation of the window asks the model
// for FormActivate (it runs once per show); handlers run guarded, their errors go to
// the application's error display and the dialog stays open.
class TFilterDialog : public QDialog {
    Q_OBJECT
public:
    TFilterDialog(TFilterForm& model, QWidget* parent = nullptr);

    TFilterForm& Model() const { return model_; }

    std::array<QSpinBox*, FilterSpinCount> Spins{};
    QPushButton* CalcBtn;
    QPushButton* AutoFillBtn;
    QPushButton* ClearBtn;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QChartView* AFC;
    QLineSeries* AFC_series;
    QValueAxis* BottomAxis;
    QValueAxis* LeftAxis;
    QLabel* fp_lbl;
    QLabel* fs_lbl;

    // Undoes the chart's zoom: the axes as the model gives them.
    void AFCDblClick();
    // Shows the model's state: spins, enabling, labels, axes and, when it changed, the
    // series.
    void ShowModel();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Runs a handler of the model guarded, then shows the model.
    template <class Fn>
    void Run(Fn&& handler);
    void Activate();

    TFilterForm& model_;
    int shownRevision_ = -1;
    bool showing_ = false; // the view is setting its spins from the model
};

// The dialog's view for the dialog service.
std::shared_ptr<const platform::FormView> FilterView();
