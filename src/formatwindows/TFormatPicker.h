// The format chooser of a window: the label "Output Format:", the read-only format field (edt1),
// the drop-down button (imgbtn1) and the pop-up list (lst1) over one TFormatListModel.
//
// The picker keeps its window's current format (name and code). In write-at-once mode (the main
// window) choosing a format writes FormatName and FormatCode to the settings at once and the
// list opens on the stored FormatName; in collect mode (the settings dialog) a choice stays in the
// picker until its owner writes it. Every text put into the field is announced with FieldTextPut,
// on which the owner reloads the parameter boxes for CurrentFormatCode().
//
// Keyboard: Alt+Down or F4 in the field, or the button, open the list (see TFormatPopupList).
#pragma once

#include "TFormatItemModel.h"
#include "TFormatListModel.h"
#include "TIniStore.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QWidget>

namespace quovo {

class TFormatPopupList;

enum class TChoiceWrite { AtOnce, Collect };

// The format field: read-only, without a caret, reporting clicks and the open keys.
class TFormatField : public QLineEdit {
    Q_OBJECT
public:
    explicit TFormatField(QWidget* parent = nullptr);

signals:
    void Clicked();
    void DoubleClicked();
    void OpenRequested();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class TFormatPicker : public QWidget {
    Q_OBJECT
public:
    TFormatPicker(TIniStore& settings, TChoiceWrite mode, QWidget* parent = nullptr);
    ~TFormatPicker() override;

    // Builds the list from the catalogue and the stored collapsed states, and puts the stored
    // FormatName into the field.
    void FillFormatList();
    bool SaveFormatListState(TIniStore& settings) const {
        return rows_.SaveFormatListState(settings);
    }

    const QString& CurrentFormatName() const { return currentName_; }
    int CurrentFormatCode() const { return currentCode_; }
    void SetCurrentFormat(const QString& name, int code);

    // The field's click, its double click and the button's click (each hides a visible list).
    void FieldClick();
    void FieldDoubleClick();
    void ButtonClick();
    void HideList();
    bool ListVisible() const;

    // A left press on a row at x pixels from the list's edge: toggles or chooses.
    void RowMouseDown(int row, int x);
    void RowDoubleClick(int row);
    // Enter or assistive technology on a row: a category toggles, a format is chosen.
    void RowActivate(int row);

    QLabel* Label() const { return label_; }
    TFormatField* Field() const { return field_; }
    QToolButton* Button() const { return button_; }
    TFormatPopupList* List() const { return list_; }
    const TFormatListModel& Rows() const { return rows_; }

signals:
    // A text was put into the format field (the boxes reload for CurrentFormatCode()).
    void FieldTextPut(const QString& text);
    void FormatChosen(const QString& name, int code);

private:
    QString StoredName() const;
    void ShowList(bool putName);
    void PutFieldText(const QString& text);
    void Toggle(int row);
    void Choose(const TFormatChoice& choice);
    void PlaceList();

    TIniStore& settings_;
    TChoiceWrite mode_;
    TFormatListModel rows_;
    TFormatItemModel items_;
    QString currentName_;
    int currentCode_ = 1;
    QLabel* label_;
    TFormatField* field_;
    QToolButton* button_;
    TFormatPopupList* list_;
};

} // namespace quovo
