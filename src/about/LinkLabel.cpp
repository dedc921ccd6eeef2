// The link label.

#include "about/LinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

#include "about/VersionInfo.h"

namespace tessel {

std::function<bool(const QUrl&)> TLinkLabel::OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {
    setObjectName("LinkLabel");
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    SetFontColor(Qt::blue);
    setCursor(Qt::PointingHandCursor);
    URL = BuildHomepage();
    setText(QUrl(URL).host());
}

QColor TLinkLabel::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TLinkLabel::SetFontColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
    if (!hovering_) {
        saved_ = FontColor();
        SetFontColor(HoverFontColor);
        hovering_ = true;
    }
    if (OnMouseEnter) OnMouseEnter();
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event) {
    if (hovering_) {
        SetFontColor(saved_);
        hovering_ = false;
    }
    if (OnMouseLeave) OnMouseLeave();
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
    if (OnClick) OnClick();
    if (!URL.isEmpty() && OpenUrl) OpenUrl(QUrl(URL));
}

}  // namespace tessel
