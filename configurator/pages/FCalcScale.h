#pragma once

#include "configurator/rules/ScaleGridRules.h"
#include "platform/Windows.h"

#include <QFrame>

class QGroupBox;
class QPushButton;
class TSpinEdit;

// The scale calculator (TfrCalcScale): the editor of the conversion grid's number
// column. It derives a conversion's k and b from two points, an input value each and
// the result it maps to, in the group box "Расчитать коэффициент": edOutMin and
// edOutMax ("Результирующее значение", "Нижнее", "Верхнее"), edInMin and edInMax
// ("Входящее значение", "Нижнее", "Верхнее"), floating values with 3 decimals and no
// limits; it opens with ScaleCalcStart of the conversion.
//   "Расчитать" (Button1Click) stores k and b (StoreScaleCalc) and posts
//   WM_FRAME_NOTIFY (27, 0) to the page; equal inputs or a result a single cannot
//   hold show their error on the application's display, store nothing and leave it
//   open.
//   "Отмена" (Button2Click), Esc, and the focus going to another control of the window
//   post the same and store nothing.
// It posts once; the page then closes it. The page, its spec and the row's record
// must outlive it.
class TfrCalcScale : public QFrame {
    Q_OBJECT
public:
    // Placed in parent; page is the window the end is posted to.
    TfrCalcScale(QWidget* parent, platform::HWND page, const TGridSpec& spec, const TGridRow& row);
    ~TfrCalcScale() override;

    QGroupBox* GroupBox1;
    TSpinEdit* edOutMin;
    TSpinEdit* edOutMax;
    TSpinEdit* edInMin;
    TSpinEdit* edInMax;
    QPushButton* Button1; // "Расчитать"
    QPushButton* Button2; // "Отмена"

    void Button1Click();
    void Button2Click();
    // The values the edits hold (what was typed taken first).
    TScaleCalc Values() const;

private:
    // Posts the end to the page, once.
    void Done();
    void FocusChanged(QWidget* old, QWidget* now);

    platform::HWND page_;
    const TGridSpec& spec_;
    TGridRow row_;
    bool done_ = false;
    QMetaObject::Connection focusWatch_;
};
