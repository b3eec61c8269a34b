#pragma once
// Driving real windows from a test: wait for a window to be on screen, answer a modal box or
// dialog from inside its own event loop.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>

namespace zc::qt::test {

inline bool ShowAndWait(QWidget& widget) {
    widget.show();
    auto exposed = [&] { return widget.windowHandle() && widget.windowHandle()->isExposed(); };
    QElapsedTimer waited;
    waited.start();
    for (; !exposed() && waited.elapsed() < 3000; QThread::msleep(2)) QApplication::processEvents();
    QApplication::processEvents();
    return exposed();
}

// Runs `act` on the modal window of type T once its event loop is up. If `act` leaves it open
// (a failed check), it is closed anyway so the test cannot hang.
template <class T>
void WhenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, act] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        const bool up = modal && modal->isVisible();
        if (!up && waited->elapsed() < 5000) return;
        timer->stop();
        timer->deleteLater();
        if (!up) {
            ADD_FAILURE() << "no modal window appeared";
            return;
        }
        act(modal);
        if (modal->isVisible()) {
            ADD_FAILURE() << "the modal window was left open";
            modal->reject();
        }
    });
    timer->start();
}

// Calls `act` with the first window of type T as it is shown, before its own event loop has run
// anything; for what must already be true when a box comes up.
template <class T>
class OnFirstShow : public QObject {
public:
    explicit OnFirstShow(std::function<void(T*)> act) : act_(std::move(act)) { qApp->installEventFilter(this); }
    ~OnFirstShow() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* window = event->type() == QEvent::Show ? qobject_cast<T*>(watched) : nullptr;
        if (window && act_) std::exchange(act_, nullptr)(window);
        return false;
    }

private:
    std::function<void(T*)> act_;
};

}  // namespace zc::qt::test
