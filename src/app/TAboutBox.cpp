#include "TAboutBox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <SDL2/SDL_version.h>
#include <dvdread/dvd_reader.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace quovo {

namespace {

QString FFmpegVersion() {
    const unsigned v = avcodec_version();
    return QString("libavcodec %1.%2.%3").arg(v >> 16).arg((v >> 8) & 0xff).arg(v & 0xff);
}

} // namespace

QString AboutText(const QString& versionText) {
    SDL_version sdl;
    SDL_VERSION(&sdl);
    QString text;
    text += "<h3>Quovo" + versionText.toHtmlEscaped() + "</h3>";
    text += "<p>Converts DVD titles and media files for players, phones, consoles and "
            "computers.</p>";
    text += "<p>Built on:</p><ul>";
    text += "<li>FFmpeg (" + FFmpegVersion() + "), licensed under the " +
            QString::fromUtf8(avcodec_license()).toHtmlEscaped() + "</li>";
    text += QString("<li>Qt %1, licensed under the GNU LGPL version 3</li>").arg(qVersion());
    text += QString("<li>SDL %1.%2.%3, licensed under the zlib licence</li>")
                .arg(sdl.major)
                .arg(sdl.minor)
                .arg(sdl.patch);
    text += QString("<li>libdvdread %1.%2.%3, licensed under the GNU GPL version 2 or later</li>")
                .arg(DVDREAD_VERSION_MAJOR)
                .arg(DVDREAD_VERSION_MINOR)
                .arg(DVDREAD_VERSION_MICRO);
    text += "</ul>";
    return text;
}

TAboutBox::TAboutBox(const QString& versionText, QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Quovo");
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(AboutText(versionText), this);
    label->setObjectName("lblAbout");
    label->setTextFormat(Qt::RichText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(label);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText("&Ok");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

} // namespace quovo
