// The window while an engine call runs long: the busy panel with Stop, and the input filter
// that lets nothing else in until the call returns.

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <chrono>

#include "app/MainWindow.h"
#include "engine/Engine.h"

namespace tessel {

namespace {

constexpr auto kBusyAfter = std::chrono::milliseconds(300);

// Swallows every input event but those of the Stop button; Escape and Ctrl+C stop.
class TBusyInputFilter : public QObject {
public:
    TBusyInputFilter(TForm1& form, QWidget* stop) : form_(form), stop_(stop) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::ShortcutOverride: {
                const auto* key = static_cast<QKeyEvent*>(event);
                if (event->type() == QEvent::KeyPress &&
                    (key->key() == Qt::Key_Escape ||
                     (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier))))
                    form_.StopClick();
                return true;
            }
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove: {
                const auto* w = qobject_cast<QWidget*>(watched);
                return !(w && (w == stop_ || stop_->isAncestorOf(w)));
            }
            case QEvent::Close:
                if (watched == &form_) {
                    event->ignore();  // the window stays until the call has returned
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

private:
    TForm1& form_;
    QWidget* stop_;
};

}  // namespace

void TForm1::BusyPump() {
    if (!busy_) {
        if (engine_->RunningFor() < kBusyAfter) return;
        EnterBusy();
    }
    ShowBusyProgress();
    // Paint and the Stop input only: the filter keeps every other input out, and the window's
    // own widgets do not repaint, so nothing reads the data objects while the call runs.
    QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void TForm1::EnterBusy() {
    busy_ = true;
    feedWasActive_ = answerFeed_.isActive();
    answerFeed_.stop();
    if (!busyPanel_) {
        busyPanel_ = new QFrame(this);
        busyPanel_->setObjectName("BusyPanel");
        busyPanel_->setFrameShape(QFrame::StyledPanel);
        busyPanel_->setAutoFillBackground(true);
        auto* box = new QHBoxLayout(busyPanel_);
        busyText_ = new QLabel(busyPanel_);
        busyText_->setObjectName("BusyText");
        busyText_->setMinimumWidth(260);
        busyStop_ = new QPushButton("Stop", busyPanel_);
        busyStop_->setObjectName("StopButton");
        busyStop_->setAccessibleName("Stop the running statement (Esc)");
        connect(busyStop_, &QPushButton::clicked, this, [this] { StopClick(); });
        box->addWidget(busyText_, 1);
        box->addWidget(busyStop_);
    }
    busyStop_->setEnabled(true);
    busyStop_->setText("Stop");
    TabbedNotebook1->setUpdatesEnabled(false);
    TabbedNotebook1->setEnabled(false);
    menuBar()->setEnabled(false);
    busyFilter_ = std::make_unique<TBusyInputFilter>(*this, busyStop_);
    qApp->installEventFilter(busyFilter_.get());
    ShowBusyProgress();
    busyPanel_->adjustSize();
    busyPanel_->resize(std::max(busyPanel_->width(), 360), busyPanel_->height());
    busyPanel_->move((width() - busyPanel_->width()) / 2, (height() - busyPanel_->height()) / 2);
    busyPanel_->show();
    busyPanel_->raise();
    busyStop_->setFocus();
}

void TForm1::LeaveBusy() noexcept {
    if (!busy_) return;
    busy_ = false;
    if (busyFilter_) qApp->removeEventFilter(busyFilter_.get());
    busyFilter_.reset();
    busyPanel_->hide();
    menuBar()->setEnabled(true);
    TabbedNotebook1->setEnabled(true);
    TabbedNotebook1->setUpdatesEnabled(true);
    if (feedWasActive_) answerFeed_.start();
}

QString TForm1::BusyText() const {
    return busyText_ && busy_ ? busyText_->text() : QString();
}

void TForm1::ShowBusyProgress() {
    const double seconds = std::chrono::duration<double>(engine_->RunningFor()).count();
    const std::string& activity = engine_->Activity();
    QString text = activity.empty() ? QString("Working") : QString::fromStdString(activity);
    text += QString(" \u2014 %1 s").arg(seconds, 0, 'f', 1);
    if (!busyStop_->isEnabled()) text += ", stopping";
    busyText_->setText(text);
}

void TForm1::StopClick() {
    stopRequested_ = engine_->Running();
    engine_->Interrupt();
    if (busyStop_) busyStop_->setEnabled(false);
}

}  // namespace tessel
