#include "TTitleBox.h"

#include "DVDTitleRows.h"
#include "TNamedComboAccessible.h"
#include "TParamItemDelegate.h"
#include "TSourceListModel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

namespace quovo {

namespace {

QComboBox* ItemList(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setItemDelegate(new TParamItemDelegate(box));
    box->setAccessibleName(caption);
    box->setMinimumContentsLength(7);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setEnabled(false);
    return box;
}

QLineEdit* ChapterEdit(QWidget* parent, const char* name, const QString& caption) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setAccessibleName(caption);
    edit->setFixedWidth(30);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

QToolButton* Arrow(QWidget* parent, const char* name, Qt::ArrowType type, const QString& what) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(type);
    button->setAccessibleName(what);
    button->setToolTip(what);
    button->setAutoRepeat(true);
    return button;
}

int Number(const QLineEdit* edit) {
    return edit->text().trimmed().toInt();
}

// The arrows of one number, one above the other.
QWidget* ArrowPair(QWidget* parent, QToolButton* up, QToolButton* down) {
    auto* pair = new QWidget(parent);
    auto* column = new QVBoxLayout(pair);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    for (QToolButton* b : {up, down}) {
        b->setFixedSize(18, 11);
        column->addWidget(b);
    }
    return pair;
}

} // namespace

TTitleBox::TTitleBox(TSourceListModel& model, std::function<int()> selectedRow, QWidget* parent)
    : QGroupBox(parent), model_(model), selectedRow_(std::move(selectedRow)) {
    setObjectName("TitleBox");
    UseNamedComboAccessibles();
    cmbAudioLanguage = ItemList(this, "cmbAudioLanguage", "Audio:");
    cmbSubtitle = ItemList(this, "cmbSubtitle", "Subtitle:");
    edtFrom = ChapterEdit(this, "edtFrom", "Rip Chapter from:");
    edtTo = ChapterEdit(this, "edtTo", "to");
    btnUp = Arrow(this, "btnUp", Qt::UpArrow, "First chapter up");
    btnDown = Arrow(this, "btnDown", Qt::DownArrow, "First chapter down");
    btnUp1 = Arrow(this, "btnUp1", Qt::UpArrow, "Last chapter up");
    btnDown1 = Arrow(this, "btnDown1", Qt::DownArrow, "Last chapter down");

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 6, 4);
    auto label = [this, row](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        row->addWidget(l);
        row->addWidget(buddy);
    };
    row->setSpacing(4);
    label("&Audio:", cmbAudioLanguage);
    row->addSpacing(4);
    label("Su&btitle:", cmbSubtitle);
    row->addSpacing(4);
    label("Rip Chapter from:", edtFrom);
    row->addWidget(ArrowPair(this, btnUp, btnDown));
    label("to", edtTo);
    row->addWidget(ArrowPair(this, btnUp1, btnDown1));
    row->addStretch(1);

    connect(cmbAudioLanguage, &QComboBox::currentIndexChanged, this,
            &TTitleBox::cmbAudioLanguageChange);
    connect(cmbSubtitle, &QComboBox::currentIndexChanged, this, &TTitleBox::cmbSubtitleChange);
    connect(btnUp, &QToolButton::clicked, this, &TTitleBox::btnUpClick);
    connect(btnDown, &QToolButton::clicked, this, &TTitleBox::btnDownClick);
    connect(btnUp1, &QToolButton::clicked, this, &TTitleBox::btnUp1Click);
    connect(btnDown1, &QToolButton::clicked, this, &TTitleBox::btnDown1Click);
    SetArrowsEnabled(false);
}

void TTitleBox::SetArrowsEnabled(bool enabled) {
    for (QToolButton* arrow : {btnUp, btnDown, btnUp1, btnDown1}) {
        arrow->setEnabled(enabled);
    }
}

int TTitleBox::TitleRow() const {
    const int row = selectedRow_ ? selectedRow_() : -1;
    return row >= 0 && row < model_.Count() ? row : -1;
}

void TTitleBox::Refill(QComboBox* box, const QStringList& items, int selected) {
    QSignalBlocker quiet(box);
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(items.isEmpty() ? -1 : std::clamp(selected, 0, int(items.size()) - 1));
}

void TTitleBox::ShowTitleDefaults(const DVDTitleInfo& title) {
    cmbAudioLanguage->setEnabled(title.AudioCount >= 1);
    Refill(cmbAudioLanguage, AudioItems(title), 0);
    cmbSubtitle->setEnabled(true);
    Refill(cmbSubtitle, SubtitleItems(title), 0);
    edtFrom->setText("1");
    edtTo->setText(QString::number(title.ChapterCount));
    SetArrowsEnabled(true);
}

void TTitleBox::lvFilesClick() {
    const int row = TitleRow();
    if (row < 0) {
        return;
    }
    const TlvFilesRecord& record = model_.Record(row);
    setTitle(model_.Caption(row));
    if (record.Kind != TRowKind::Title) {
        // A file has no disc streams or chapters to choose: the box stays in its place, under
        // the file's name, with every choice emptied and disabled.
        for (QComboBox* box : {cmbAudioLanguage, cmbSubtitle}) {
            Refill(box, {}, 0);
            box->setEnabled(false);
        }
        edtFrom->clear();
        edtTo->clear();
        SetArrowsEnabled(false);
        return;
    }
    const DVDTitleInfo& title = record.Title;
    cmbAudioLanguage->setEnabled(title.AudioCount > 0);
    Refill(cmbAudioLanguage, title.AudioCount > 0 ? AudioItems(title) : QStringList(),
           std::max(record.AudioIndex, 0));
    cmbSubtitle->setEnabled(true);
    Refill(cmbSubtitle, SubtitleItems(title), std::max(record.SubtitleIndex, 0));
    edtFrom->setText(QString::number(record.FromChapter));
    edtTo->setText(QString::number(record.ToChapter));
    SetArrowsEnabled(true);
}

void TTitleBox::cmbAudioLanguageChange(int index) {
    const int row = TitleRow();
    if (row < 0 || index < 0) {
        return;
    }
    TlvFilesRecord& record = model_.Record(row);
    if (record.Title.AudioCount > 0 && index < std::min(record.Title.AudioCount, kDVDMaxAudio)) {
        record.AudioID = record.Title.Audio[index].StreamID;
        record.AudioIndex = index;
    }
}

void TTitleBox::cmbSubtitleChange(int index) {
    const int row = TitleRow();
    if (row < 0 || index < 0) {
        return;
    }
    TlvFilesRecord& record = model_.Record(row);
    const int count = std::min(record.Title.SubtitleCount, kDVDMaxSubtitles);
    if (record.Title.SubtitleCount > 0 && index <= count) {
        record.SubtitleID = index < count ? record.Title.Subtitles[index].StreamID : 0;
        record.SubtitleIndex = index;
    }
}

void TTitleBox::PressArrow(TChapterArrow arrow) {
    const int row = TitleRow();
    if (row < 0) {
        return;
    }
    TlvFilesRecord& record = model_.Record(row);
    if (record.Kind != TRowKind::Title) {
        return;
    }
    const TChapterRange shown{Number(edtFrom), Number(edtTo)};
    const TChapterRange after = PressChapterArrow(arrow, shown, record.Title.ChapterCount);
    const bool from = arrow == TChapterArrow::FromUp || arrow == TChapterArrow::FromDown;
    if ((from ? shown.From : shown.To) <= 0) {
        return;
    }
    edtFrom->setText(QString::number(after.From));
    edtTo->setText(QString::number(after.To));
    if (from || after.From != shown.From) {
        record.FromChapter = after.From;
    }
    if (!from || after.To != shown.To) {
        record.ToChapter = after.To;
    }
}

} // namespace quovo
