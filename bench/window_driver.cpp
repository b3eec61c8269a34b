// zc-bench-window: the real Qt shell over the real Linux platform, driven without a person.
// Prints what it measured as "key=value" lines.
//
//   transfer    as the program starts (see src/shells/qt/main.cpp), then presses Transfer once the
//               window is on screen; every question is answered Yes and the Finished box OK.
//               ms is the time from the press to the Finished box; --steps adds when each
//               step began.
//   startup     as the program starts, up to the main window's first paint; shown_us is the
//               wall clock then, for the caller to set against the moment it started us.
//   log COUNT   COUNT lines written into the shown log window through the form.
//   rows COUNT  the same, each line followed by a counter step, as the export writes a job row.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <ctime>
#include <exception>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "core/Controller.h"
#include "shells/qt/MainWindow.h"
#include "platform/Error.h"
#include "platform/posix/PosixPlatform.h"
#include "runs/Runs.h"

namespace {

long long WallMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

bool WaitExposed(QWidget& widget) {
    QElapsedTimer waited;
    waited.start();
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && waited.elapsed() < 5000) {
        QApplication::processEvents();
        QThread::msleep(1);
    }
    QApplication::processEvents();
    return widget.windowHandle() && widget.windowHandle()->isExposed();
}

// Answers every box the moment its own event loop runs: Yes to questions, OK to messages.
// The Finished box stops the clock.
class Answerer : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (!box) return false;
        const std::string text = box->text().toStdString();
        if (text == zc::kFinishedText) {
            finishedMs = clock.isValid() ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
        } else if (text.rfind("Error", 0) == 0 || text.rfind("Fatal", 0) == 0 ||
                   box->icon() == QMessageBox::Critical) {
            error = text;
        } else if (box->standardButtons() & QMessageBox::Yes) {
            if (text.find("downloaded from this device before") != std::string::npos) ++purgeQuestions;
            else if (text.rfind("Site name in the device", 0) == 0) ++siteQuestions;
            else if (text.find("connected the device") == std::string::npos) ++otherQuestions;
        }
        QTimer::singleShot(0, box, [box] {
            QAbstractButton* button = box->button(QMessageBox::Yes);
            if (!button) button = box->button(QMessageBox::Ok);
            if (button) button->click();
            else box->reject();
        });
        return false;
    }

    QElapsedTimer clock;
    double finishedMs = -1;
    std::string error;
    int purgeQuestions = 0, siteQuestions = 0, otherQuestions = 0;
};

// Passes everything to the window; with `steps` on, notes when each step's first log line
// comes, so a slow run shows where its time went.
class StepClock : public zc::Window {
public:
    StepClock(zc::qt::MainWindow& inner, const QElapsedTimer& clock) : inner_(inner), clock_(clock) {}
    std::string Text(zc::Field field) override { return inner_.Text(field); }
    void SetText(zc::Field field, const std::string& text) override { inner_.SetText(field, text); }
    void Refresh() override { inner_.Refresh(); }
    void WriteLog(const std::string& message) override {
        if (steps && !message.empty() && message[0] != ' ' && clock_.isValid() &&
            message.rfind("Copying file:", 0) != 0)
            marks.push_back({static_cast<double>(clock_.nsecsElapsed()) / 1e6, message});
        inner_.WriteLog(message);
    }
    void ShowLog() override { inner_.ShowLog(); }
    bool AskYesNo(const std::string& prompt) override { return inner_.AskYesNo(prompt); }
    void ShowMessage(const std::string& text) override { inner_.ShowMessage(text); }
    void ShowWarning(const std::string& text) override { inner_.ShowWarning(text); }
    std::string ChooseFile(const std::string& title, const std::string& filter, const std::string& folder) override {
        return inner_.ChooseFile(title, filter, folder);
    }
    void SetCursor(zc::Cursor cursor) override { inner_.SetCursor(cursor); }
    void Attach(zc::Controller* controller) override { inner_.Attach(controller); }
    void WidenLog(const std::string& line) override { inner_.WidenLog(line); }
    void PaintHeld() override { inner_.PaintHeld(); }
    void LetEventsIn() override { inner_.LetEventsIn(); }
    void ShowMain() override { inner_.ShowMain(); }
    void WhenShown(std::function<void()> then) override { inner_.WhenShown(std::move(then)); }
    void End() override { inner_.End(); }

    bool steps = false;
    std::vector<std::pair<double, std::string>> marks;

private:
    zc::qt::MainWindow& inner_;
    const QElapsedTimer& clock_;
};

// Records the end of the main window's first paint: the next turn of the event loop.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            QTimer::singleShot(0, [this] {
                shownUs = WallMicroseconds();
                QCoreApplication::quit();
            });
        }
        return false;
    }
    bool seen = false;
    long long shownUs = 0;
};

// `counters`: each line is followed by a counter step, as the export does for each job row.
int Log(int argc, char** argv, long count, bool counters) {
    QApplication app(argc, argv);
    zc::qt::SetApplicationIdentity(app);
    zc::qt::MainWindow window;
    window.show();
    if (!WaitExposed(window)) throw std::runtime_error("the main window never came up");
    zc::posix::PosixPlatform os;
    zc::qt::ElapsedTicks ticks;
    zc::Controller controller(window, os.platform(), zc::ProgramSteps(), ticks);
    controller.ShowLog();
    std::string line;
    QElapsedTimer clock;
    clock.start();
    for (long i = 0; i < count; ++i) {
        // Lines as a transfer writes them for its job rows.
        line.assign("  ..Event: ").append(std::to_string(101 + i % 7)).append(": ").append(std::to_string(731 + i / 2));
        controller.WriteLog(line);
        if (counters) zc::IncrementCounter(controller.form(), zc::Field::Events);
        if (counters && i % 30000 == 29999) controller.SetText(zc::Field::Events, "0");
    }
    window.Log()->Flush();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const bool painted = window.Log()->PaintedLength() == window.Log()->Text().size();
    std::cout << "ms=" << ms << "\nlines=" << count << "\nall_painted=" << (painted ? 1 : 0) << "\n";
    return painted ? 0 : 1;
}

// The start of the program, as main() does it; `act` runs once the event loop runs.
int Program(int argc, char** argv, bool transfer, bool steps) {
    QApplication app(argc, argv);
    zc::qt::SetApplicationIdentity(app);
    Answerer answers;
    FirstPaint firstPaint;
    app.installEventFilter(&answers);

    zc::posix::PosixPlatform os;
    zc::qt::MainWindow window;
    StepClock stepClock(window, answers.clock);
    stepClock.steps = steps;
    zc::qt::ElapsedTicks ticks;
    zc::Controller controller(stepClock, os.platform(), zc::ProgramSteps(), ticks);
    if (!transfer) window.installEventFilter(&firstPaint);

    int startCode = 0;
    if (!controller.Start(startCode)) {
        std::cerr << "zc-bench-window: start-up did not reach the window" << (answers.error.empty() ? "" : ": ")
                  << answers.error << "\n";
        return 1;
    }
    if (!transfer) {
        app.exec();
        controller.Unload();
        std::cout << "shown_us=" << firstPaint.shownUs << "\n";
        return firstPaint.shownUs > 0 ? 0 : 1;
    }

    int code = 1;
    QTimer::singleShot(0, [&] {
        if (!WaitExposed(window)) {
            std::cerr << "zc-bench-window: the main window never came up\n";
            QCoreApplication::exit(1);
            return;
        }
        auto* button = window.findChild<QPushButton*>(QStringLiteral("cmdTransfer"));
        answers.clock.start();
        button->click();  // the whole run, its boxes answered from their own event loops
        const bool finished = answers.finishedMs >= 0 && answers.error.empty();
        std::cout << "ms=" << answers.finishedMs << "\npurge_questions=" << answers.purgeQuestions
                  << "\nsite_questions=" << answers.siteQuestions << "\nevents=" << window.Text(zc::Field::Events)
                  << "\nsignatures=" << window.Text(zc::Field::Signs) << "\nsuccess=" << window.Text(zc::Field::Success)
                  << "\nfailure=" << window.Text(zc::Field::Failure) << "\n";
        if (!answers.error.empty()) std::cout << "error=" << answers.error << "\n";
        for (const auto& [ms, line] : stepClock.marks) std::cout << "step " << ms << " " << line << "\n";
        code = finished && answers.otherQuestions == 0 ? 0 : 1;
        window.close();
    });
    app.exec();
    controller.Unload();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        if (mode == "transfer" && argc == 2) return Program(argc, argv, true, false);
        if (mode == "transfer" && argc == 3 && std::string(argv[2]) == "--steps")
            return Program(argc, argv, true, true);
        if (mode == "startup" && argc == 2) return Program(argc, argv, false, false);
        if (mode == "log" && argc == 3) return Log(argc, argv, std::stol(argv[2]), false);
        if (mode == "rows" && argc == 3) return Log(argc, argv, std::stol(argv[2]), true);
    } catch (const std::exception& e) {
        std::cerr << "zc-bench-window: " << zc::DescribeError(e) << "\n";
        return 1;
    }
    std::cerr << "usage: zc-bench-window transfer [--steps] | startup | log COUNT | rows COUNT\n";
    return 2;
}
