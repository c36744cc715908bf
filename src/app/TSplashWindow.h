// The borderless window shown while the program starts: skin/quovocover.jpg from the data folder
// when there is one, else a picture of its own. It closes itself once the main window shows.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace quovo {

class TSplashWindow : public QWidget {
    Q_OBJECT
public:
    // coverFile: the picture to show when it exists and can be read.
    explicit TSplashWindow(const QString& coverFile);

    // Checks once a second whether `window` is showing, and closes then.
    void CloseWhenShown(QWidget* window);
    const QPixmap& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static QPixmap BuiltInPicture();

    QPixmap picture_;
    QTimer timer_;
    QPointer<QWidget> watched_;
};

// The splash picture's path: skin/quovocover.jpg in the folder of the format file.
QString CoverFile(const std::string& formatFile);

} // namespace quovo
