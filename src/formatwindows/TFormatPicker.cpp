#include "TFormatPicker.h"
#include "TAppSettings.h"

#include "TFormatPopupList.h"
#include "TSkin.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>

namespace quovo {

namespace {

// Pop-up windows are no children of the application on the accessibility bus; a screen reader
// reaches the format list through the picker, as it reaches a combo box's list.
class TAccessiblePicker : public QAccessibleWidget {
public:
    explicit TAccessiblePicker(TFormatPicker* picker)
        : QAccessibleWidget(picker, QAccessible::Grouping) {}

    int childCount() const override { return QAccessibleWidget::childCount() + 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == QAccessibleWidget::childCount()) {
            return QAccessible::queryAccessibleInterface(Picker()->List());
        }
        return QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child != nullptr && child->object() == Picker()->List()) {
            return QAccessibleWidget::childCount();
        }
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    TFormatPicker* Picker() const { return static_cast<TFormatPicker*>(widget()); }
};

QAccessibleInterface* PickerAccessibility(const QString& className, QObject* object) {
    if (className == QLatin1String("quovo::TFormatPicker") && object->isWidgetType()) {
        return new TAccessiblePicker(static_cast<TFormatPicker*>(object));
    }
    return nullptr;
}

} // namespace

TFormatField::TFormatField(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    // No caret in a field the user cannot type into.
    setCursor(Qt::ArrowCursor);
}

void TFormatField::mouseReleaseEvent(QMouseEvent* event) {
    QLineEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Clicked();
    }
}

void TFormatField::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit DoubleClicked();
    }
}

void TFormatField::keyPressEvent(QKeyEvent* event) {
    const bool altDown = event->key() == Qt::Key_Down && (event->modifiers() & Qt::AltModifier);
    if (altDown || event->key() == Qt::Key_F4) {
        emit OpenRequested();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

TFormatPicker::TFormatPicker(TIniStore& settings, TChoiceWrite mode, QWidget* parent)
    : QWidget(parent), settings_(settings), mode_(mode), items_(rows_) {
    static const bool accessible = [] {
        QAccessible::installFactory(PickerAccessibility);
        return true;
    }();
    (void)accessible;
    label_ = new QLabel("Output Format:", this);
    field_ = new TFormatField(this);
    field_->setObjectName("edt1");
    field_->setAccessibleName("Output Format:");
    label_->setBuddy(field_);
    button_ = new QToolButton(this);
    button_->setObjectName("imgbtn1");
    button_->setArrowType(Qt::DownArrow);
    button_->setAccessibleName("Output Format:");
    button_->setToolTip("Show the format list (Alt+Down)");
    button_->setFocusPolicy(Qt::NoFocus); // the field opens the list from the keyboard
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(label_);
    layout->addWidget(field_, 1);
    layout->addWidget(button_);
    setFocusProxy(field_);

    list_ = new TFormatPopupList(items_, rows_, this);
    list_->SetToggleControls({field_, button_});

    UseFieldBackground(field_);

    connect(field_, &TFormatField::Clicked, this, &TFormatPicker::FieldClick);
    connect(field_, &TFormatField::DoubleClicked, this, &TFormatPicker::FieldDoubleClick);
    connect(field_, &TFormatField::OpenRequested, this, &TFormatPicker::ButtonClick);
    connect(button_, &QToolButton::clicked, this, &TFormatPicker::ButtonClick);
    connect(list_, &TFormatPopupList::RowPressed, this, &TFormatPicker::RowMouseDown);
    connect(list_, &TFormatPopupList::RowDoubleClicked, this, &TFormatPicker::RowDoubleClick);
    connect(list_, &TFormatPopupList::RowActivated, this, &TFormatPicker::RowActivate);
    connect(list_, &TFormatPopupList::ToggleRequested, this, &TFormatPicker::Toggle);
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive) {
                    HideList();
                }
            });
}

TFormatPicker::~TFormatPicker() = default;

void TFormatPicker::FillFormatList() {
    items_.Change([this] { rows_.FillFormatList(settings_); });
    PutFieldText(QString::fromStdString(rows_.FieldText()));
}

void TFormatPicker::SetCurrentFormat(const QString& name, int code) {
    currentName_ = name;
    currentCode_ = code;
}

QString TFormatPicker::StoredName() const {
    if (mode_ == TChoiceWrite::Collect) {
        return currentName_;
    }
    return QString::fromStdString(StoredFormatName(settings_));
}

void TFormatPicker::FieldClick() {
    if (ListVisible()) {
        HideList();
        return;
    }
    ShowList(false);
}

void TFormatPicker::FieldDoubleClick() {
    if (ListVisible()) {
        HideList();
        return;
    }
    // The settings dialog's list opens without touching its field.
    ShowList(mode_ == TChoiceWrite::AtOnce);
}

void TFormatPicker::ButtonClick() {
    FieldDoubleClick();
}

void TFormatPicker::HideList() {
    list_->hide();
}

bool TFormatPicker::ListVisible() const {
    return list_->isVisible();
}

void TFormatPicker::ShowList(bool putName) {
    const QString name = StoredName();
    if (putName) {
        PutFieldText(name);
    }
    rows_.SelectByName(name.toStdString());
    list_->SyncSelection();
    PlaceList();
    list_->show();
    list_->raise();
    list_->activateWindow();
    list_->View()->setFocus(Qt::PopupFocusReason);
    list_->SyncSelection();
}

void TFormatPicker::PlaceList() {
    const int rowCount = rows_.RowCount();
    const int height = rowCount * kFormatRowHeight > 386 ? 386 : rowCount * kFormatRowHeight + 20;
    const int width = field_->width() + button_->width() + 2;
    QPoint below = field_->mapToGlobal(QPoint(0, field_->height()));
    QPoint above = field_->mapToGlobal(QPoint(0, -height));
    const QScreen* screen = field_->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    // Opens below the field when it fits, else above it.
    const bool fitsBelow = room.isNull() || below.y() + height <= room.bottom();
    list_->setGeometry(QRect(fitsBelow ? below : above, QSize(width, height)));
}

void TFormatPicker::PutFieldText(const QString& text) {
    field_->setText(text);
    field_->setCursorPosition(0);
    emit FieldTextPut(text);
}

void TFormatPicker::Toggle(int row) {
    items_.Change([this, row] { rows_.Toggle(row); });
}

void TFormatPicker::RowMouseDown(int row, int x) {
    std::optional<TFormatChoice> choice;
    items_.Change([&] {
        choice = mode_ == TChoiceWrite::AtOnce ? rows_.MouseDown(row, x, settings_)
                                               : rows_.MouseDown(row, x);
    });
    if (choice) {
        Choose(*choice);
    }
}

void TFormatPicker::RowDoubleClick(int row) {
    Toggle(row);
}

void TFormatPicker::RowActivate(int row) {
    if (row < 0 || row >= rows_.RowCount()) {
        return;
    }
    if (rows_.Rows()[row].Info.IsCategory) {
        Toggle(row);
        return;
    }
    // Beyond the toggle zone: a format row is chosen wherever it is pressed.
    RowMouseDown(row, kToggleZoneWidth);
}

void TFormatPicker::Choose(const TFormatChoice& choice) {
    SetCurrentFormat(QString::fromStdString(choice.Name), choice.Code);
    PutFieldText(currentName_);
    HideList();
    emit FormatChosen(currentName_, currentCode_);
}

} // namespace quovo
