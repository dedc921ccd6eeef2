#pragma once

// A label that is a link: blue and underlined with the hand pointer, another colour while the
// mouse is over it; a click runs OnClick and opens URL with the desktop's handler.

#include <QColor>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace tessel {

class TLinkLabel : public QLabel {
public:
    explicit TLinkLabel(QWidget* parent = nullptr);

    QString URL;
    QColor HoverFontColor = Qt::red;
    std::function<void()> OnClick;
    std::function<void()> OnMouseEnter, OnMouseLeave;

    QColor FontColor() const;
    void SetFontColor(const QColor& color);

    // How links are opened: the desktop's handler (the tests put their own). False when it
    // could not start one.
    static std::function<bool(const QUrl&)> OpenUrl;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor saved_;
    bool hovering_ = false;
};

}  // namespace tessel
