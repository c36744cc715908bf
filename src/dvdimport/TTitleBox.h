// The box above the source list for the selected title row: "Audio:" and "Subtitle:" lists and
// the chapter range "Rip Chapter from: … to" with an up and a down arrow beside each number.
// Every choice goes into the selected row's record at once. Its caption is the caption of the
// row shown last. A file row has nothing to choose: the box then shows its choices emptied and
// disabled rather than hiding, so the list below does not move.
#pragma once

#include "DVDTypes.h"
#include "TChapterRange.h"

#include <QGroupBox>

#include <functional>

class QComboBox;
class QLineEdit;
class QToolButton;

namespace quovo {

class TSourceListModel;

class TTitleBox : public QGroupBox {
    Q_OBJECT
public:
    // `selectedRow` names the list's selected row (-1 when none).
    TTitleBox(TSourceListModel& model, std::function<int()> selectedRow, QWidget* parent = nullptr);

    // Shows the selected row's own choices (a click on a row).
    void lvFilesClick();
    // Fills the lists and the range from a title just imported, as its defaults.
    void ShowTitleDefaults(const DVDTitleInfo& title);

    void cmbAudioLanguageChange(int index);
    void cmbSubtitleChange(int index);
    void btnUpClick() { PressArrow(TChapterArrow::FromUp); }
    void btnDownClick() { PressArrow(TChapterArrow::FromDown); }
    void btnUp1Click() { PressArrow(TChapterArrow::ToUp); }
    void btnDown1Click() { PressArrow(TChapterArrow::ToDown); }

    QComboBox* cmbAudioLanguage;
    QComboBox* cmbSubtitle;
    QLineEdit* edtFrom;
    QLineEdit* edtTo;
    QToolButton* btnUp;
    QToolButton* btnDown;
    QToolButton* btnUp1;
    QToolButton* btnDown1;

private:
    void PressArrow(TChapterArrow arrow);
    void SetArrowsEnabled(bool enabled);
    // Refills a list without calling its change handler.
    void Refill(QComboBox* box, const QStringList& items, int selected);
    // The selected title row, or -1.
    int TitleRow() const;

    TSourceListModel& model_;
    std::function<int()> selectedRow_;
};

} // namespace quovo
