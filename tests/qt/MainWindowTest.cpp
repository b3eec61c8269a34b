// The main window: its controls, the form the runs see, its boxes, its buttons and its end.
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

#include "QtHelpers.h"
#include "app/qt/MainWindow.h"
#include "platform/Error.h"

namespace zc::qt {
namespace {

using test::ShowAndWait;
using test::TabChain;
using test::WhenModal;

template <class T>
T* Find(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Where a child sits in the window's coordinates.
QRect At(QWidget& window, QWidget* child) {
    return QRect(child->mapTo(&window, QPoint(0, 0)), child->size());
}

const char* const kCounters[] = {"txtSessions", "txtEvents", "txtSigns", "txtSuccess", "txtFailure"};

TEST(QtMainWindow, ControlsCarryTheirCaptionsAndAccelerators) {
    MainWindow window;
    EXPECT_EQ(window.windowTitle(), "Zilba Companion");
    EXPECT_FALSE(window.windowIcon().isNull());

    const std::pair<const char*, const char*> labels[] = {
        {"Label1", "Handheld directory"}, {"Label2", "Local directory"}, {"Label3", "Zilba server"},
        {"Label10", "Zilba site"},        {"Label4", "Sessions"},        {"Label5", "Events"},
        {"Label6", "Signatures"},         {"Label7", "Upload"},          {"Label8", "Success"},
        {"Label9", "Failure"}};
    for (auto [name, text] : labels) {
        if (auto* label = Find<QLabel>(window, name)) {
            EXPECT_EQ(label->text(), text) << name;
        }
    }

    const std::tuple<const char*, const char*, int> buttons[] = {
        {"cmdExit", "E&xit", Qt::Key_X}, {"cmdResend", "&Resend", Qt::Key_R},
        {"cmdTransfer", "&Transfer", Qt::Key_T}};
    for (auto [name, text, key] : buttons) {
        if (auto* button = Find<QPushButton>(window, name)) {
            EXPECT_EQ(button->text(), text) << name;
            EXPECT_EQ(button->shortcut(), QKeySequence(Qt::ALT | key)) << name;
        }
    }

    EXPECT_EQ(Find<QGroupBox>(window, "Frame1")->title(), "");
    EXPECT_EQ(Find<QGroupBox>(window, "Frame2")->title(), "Configuration");
    EXPECT_EQ(Find<QGroupBox>(window, "Frame3")->title(), "Status");

    const std::pair<const char*, QSize> pictures[] = {{"Image1", QSize(204, 47)},
                                                      {"Image2", QSize(276, 47)}};
    for (auto [name, size] : pictures) {
        if (auto* picture = Find<QLabel>(window, name)) {
            EXPECT_EQ(picture->pixmap().size(), size) << name;
            EXPECT_EQ(picture->size(), size) << name;
        }
    }
}

TEST(QtMainWindow, CountersStartAtZeroLockedGreyAndOutOfTheTabChain) {
    MainWindow window;
    const QColor editable = Find<QLineEdit>(window, "txtSite")->palette().color(QPalette::Base);
    for (const char* name : kCounters) {
        auto* counter = Find<QLineEdit>(window, name);
        if (!counter) continue;
        EXPECT_EQ(counter->text(), "0") << name;
        EXPECT_TRUE(counter->isReadOnly()) << name;
        EXPECT_EQ(counter->focusPolicy(), Qt::NoFocus) << name;
        const QPalette palette = counter->palette();
        EXPECT_EQ(palette.color(QPalette::Base), palette.color(QPalette::Button)) << name;
        EXPECT_NE(palette.color(QPalette::Base), editable) << name;
    }
}

TEST(QtMainWindow, LaidOutLikeTheOriginalAndFixedInSize) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.size(), window.minimumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);

    QRect image1 = At(window, Find<QLabel>(window, "Image1"));
    QRect image2 = At(window, Find<QLabel>(window, "Image2"));
    EXPECT_EQ(image1.topLeft(), QPoint(0, 0));
    EXPECT_EQ(image2.left(), image1.right() + 1);
    EXPECT_EQ(image2.top(), 0);

    QRect config = At(window, Find<QWidget>(window, "Frame2"));
    QRect status = At(window, Find<QWidget>(window, "Frame3"));
    QRect bottom = At(window, Find<QWidget>(window, "Frame1"));
    EXPECT_GT(config.top(), image1.bottom());
    EXPECT_LT(config.right(), status.left());
    EXPECT_EQ(config.top(), status.top());
    EXPECT_EQ(config.height(), status.height());
    const double share = double(config.width()) / (config.width() + status.width());
    EXPECT_GT(share, 0.65);
    EXPECT_LT(share, 0.85);
    EXPECT_GT(bottom.top(), config.bottom());
    EXPECT_GT(bottom.width(), window.width() * 9 / 10);

    auto at = [&](const char* name) { return At(window, Find<QWidget>(window, name)); };
    // Labels above their fields; server left of site on the third row.
    EXPECT_LT(at("Label1").bottom(), at("txtDeviceDir").top());
    EXPECT_LT(at("txtDeviceDir").bottom(), at("Label2").top());
    EXPECT_LT(at("Label2").bottom(), at("txtLocalDir").top());
    EXPECT_LT(at("txtLocalDir").bottom(), at("Label3").top());
    EXPECT_LT(at("Label10").bottom(), at("txtSite").top());
    EXPECT_LT(at("txtServer").right(), at("txtSite").left());
    EXPECT_EQ(at("txtServer").top(), at("txtSite").top());

    // Counters: label left, field right, one a row; Upload heads the two indented rows.
    const char* rows[][2] = {{"Label4", "txtSessions"}, {"Label5", "txtEvents"},
                             {"Label6", "txtSigns"},    {"Label8", "txtSuccess"},
                             {"Label9", "txtFailure"}};
    int lastTop = -1;
    for (auto& row : rows) {
        EXPECT_LT(at(row[0]).left(), at(row[1]).left()) << row[0];
        EXPECT_NEAR(at(row[0]).center().y(), at(row[1]).center().y(), 3) << row[0];
        EXPECT_GT(at(row[1]).top(), lastTop) << row[1];
        lastTop = at(row[1]).top();
    }
    EXPECT_GT(at("Label7").top(), at("txtSigns").bottom());
    EXPECT_LT(at("Label7").bottom(), at("txtSuccess").top());
    auto* plain = Find<QLabel>(window, "Label6");
    for (const char* name : {"Label8", "Label9"}) {
        auto* indented = Find<QLabel>(window, name);
        EXPECT_GT(at(name).left() + indented->indent(), at("Label6").left() + plain->indent() + 4)
            << name;
    }

    // Exit alone at the left end; Resend then Transfer at the right end.
    EXPECT_LT(at("cmdExit").left() - bottom.left(), 20);
    EXPECT_LT(at("cmdResend").right(), at("cmdTransfer").left());
    EXPECT_LT(bottom.right() - at("cmdTransfer").right(), 20);
    EXPECT_GT(at("cmdResend").left(), at("cmdExit").right() + 50);
}

TEST(QtMainWindow, TabOrderRunsFromTransferAndTransferHasTheFocus) {
    MainWindow window;
    auto* transfer = Find<QPushButton>(window, "cmdTransfer");
    std::vector<QWidget*> expected;
    for (const char* name : {"cmdTransfer", "cmdExit", "txtDeviceDir", "txtLocalDir", "txtServer",
                             "txtSite", "cmdResend"})
        expected.push_back(Find<QWidget>(window, name));
    EXPECT_EQ(TabChain(transfer), expected);

    ASSERT_TRUE(ShowAndWait(window));
    EXPECT_EQ(window.focusWidget(), transfer);

    // Enter on the focused button presses it, as on any desktop.
    int transfers = 0;
    window.SetHandlers({[&] { ++transfers; }, {}, {}});
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(transfer, &enter);
    EXPECT_EQ(transfers, 1);
}

TEST(QtMainWindow, FieldsCrossAsUtf8Text) {
    MainWindow window;
    const std::pair<Field, const char*> fields[] = {
        {Field::DeviceDir, "txtDeviceDir"}, {Field::LocalDir, "txtLocalDir"},
        {Field::Server, "txtServer"},       {Field::Site, "txtSite"},
        {Field::Sessions, "txtSessions"},   {Field::Events, "txtEvents"},
        {Field::Signs, "txtSigns"},         {Field::Success, "txtSuccess"},
        {Field::Failure, "txtFailure"}};
    for (auto [field, name] : fields) window.SetText(field, std::string(name) + " Zürich \xe2\x82\xac");
    for (auto [field, name] : fields) {
        EXPECT_EQ(Find<QLineEdit>(window, name)->text(), QString::fromUtf8(name) + " Zürich €");
        EXPECT_EQ(window.Text(field), std::string(name) + " Zürich \xe2\x82\xac") << name;
    }

    Find<QLineEdit>(window, "txtLocalDir")->setText(QString::fromUtf8("/home/zoë/Zilba Companion"));
    EXPECT_EQ(window.Text(Field::LocalDir), "/home/zo\xc3\xab/Zilba Companion");
}

TEST(QtMainWindow, RefreshPaintsTheCountersAtOnce) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    auto* sessions = Find<QLineEdit>(window, "txtSessions");
    sessions->installEventFilter(&counter);
    window.SetText(Field::Sessions, "1");
    window.Refresh();
    EXPECT_GT(counter.paints, 0);
}

TEST(QtBoxes, QuestionsHaveNoIconAndYesAsDefault) {
    MainWindow window;
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Information;
        QMessageBox::StandardButtons buttons;
        bool yesDefault = false, noEscapes = false;
        Qt::TextFormat format = Qt::AutoText;
    };
    auto answer = [](QMessageBox::StandardButton choice, Seen& seen) {
        WhenModal<QMessageBox>([choice, &seen](QMessageBox* box) {
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                    box->defaultButton() == box->button(QMessageBox::Yes),
                    box->escapeButton() == box->button(QMessageBox::No), box->textFormat()};
            box->button(choice)->click();
        });
    };

    Seen seen;
    answer(QMessageBox::Yes, seen);
    EXPECT_TRUE(window.AskYesNo("Have you connected the device to the PC?"));
    EXPECT_EQ(seen.title, "Zilba Companion");
    EXPECT_EQ(seen.text, "Have you connected the device to the PC?");
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(seen.yesDefault);
    EXPECT_TRUE(seen.noEscapes);

    answer(QMessageBox::No, seen);
    EXPECT_FALSE(window.AskYesNo(
        "Data was downloaded from this device before.\r\nDo you want to continue?"));
    EXPECT_EQ(seen.text, "Data was downloaded from this device before.\nDo you want to continue?");

    // Text from elsewhere is shown as it is, never read as markup.
    answer(QMessageBox::Yes, seen);
    window.AskYesNo("<b>x</b>");
    EXPECT_EQ(seen.format, Qt::PlainText);
}

TEST(QtBoxes, MessagesAreOkOnlyAndTheWarningIsCritical) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    auto record = [&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        parent = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    };

    WhenModal<QMessageBox>(record);
    window.ShowMessage("Error: Failed to initialise RAPI");
    EXPECT_EQ(title, "Zilba Companion");
    EXPECT_EQ(text, "Error: Failed to initialise RAPI");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QMessageBox::Ok);
    EXPECT_EQ(parent, &window);

    WhenModal<QMessageBox>(record);
    window.ShowWarning("Your system is running low on resource, please reboot");
    EXPECT_EQ(title, "Warning");
    EXPECT_EQ(text, "Your system is running low on resource, please reboot");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QMessageBox::Ok);

    // Start-up boxes come before the main window is shown and stand on their own.
    window.hide();
    WhenModal<QMessageBox>(record);
    window.ShowMessage("Fatal error: Unable to load ADO filter library");
    EXPECT_EQ(parent, nullptr);
}

TEST(QtCursor, OneHourglassAtATimeAndTheArrowWhileAsking) {
    MainWindow window;
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    window.SetCursor(Cursor::Hourglass);
    window.SetCursor(Cursor::Hourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    Qt::CursorShape whileAsked = Qt::WaitCursor;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        whileAsked = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                    : Qt::ArrowCursor;
        box->button(QMessageBox::Yes)->click();
    });
    window.AskYesNo("Data was downloaded from this device before.");
    EXPECT_EQ(whileAsked, Qt::ArrowCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    window.SetCursor(Cursor::Arrow);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    window.SetCursor(Cursor::Arrow);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A window that goes while the hourglass shows takes it with it.
    {
        MainWindow gone;
        gone.SetCursor(Cursor::Hourglass);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtFileDialog, TitleFilterCancelAndChoice) {
    MainWindow window;
    QString title;
    QStringList filters;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->reject();
    });
    EXPECT_EQ(window.ChooseFile("Select export file", "*.txt"), "");
    EXPECT_EQ(title, "Select export file");
    EXPECT_EQ(filters, QStringList{"*.txt"});

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QString::fromUtf8("c_zilba_éte.txt"));
    std::ofstream(path.toStdString()) << "EVENT";
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept();  // as the Open button does
    });
    EXPECT_EQ(window.ChooseFile("Select export file", "*.txt"), path.toStdString());

    // A cancel after a choice is still a cancel.
    WhenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_EQ(window.ChooseFile("Select export file", "*.txt"), "");
}

TEST(QtRuns, AClickArrivingDuringARunStartsNothing) {
    MainWindow window;
    ASSERT_TRUE(ShowAndWait(window));
    auto* transfer = Find<QPushButton>(window, "cmdTransfer");
    auto* resend = Find<QPushButton>(window, "cmdResend");
    int transfers = 0, resends = 0;
    bool runningInside = false;
    window.SetHandlers({[&] {
                            if (++transfers > 1) return;  // a second run must not get here
                            runningInside = window.Running();
                            // Clicks handed over by the question's own event loop.
                            WhenModal<QMessageBox>([&](QMessageBox* box) {
                                transfer->click();
                                resend->click();
                                box->button(QMessageBox::Yes)->click();
                            });
                            window.AskYesNo("Have you connected the device to the PC?");
                        },
                        [&] { ++resends; }, {}});
    transfer->click();
    EXPECT_EQ(transfers, 1);
    EXPECT_EQ(resends, 0);
    EXPECT_TRUE(runningInside);
    EXPECT_FALSE(window.Running());

    // Once the run is over the buttons work again.
    resend->click();
    EXPECT_EQ(resends, 1);
    transfer->click();
    EXPECT_EQ(transfers, 2);
}

TEST(QtRuns, AnErrorEscapingARunIsShownAndReleasesTheButtons) {
    MainWindow window;
    int resends = 0;
    window.SetHandlers({{}, [&] {
                            if (++resends == 1) throw Error(-200, "Shell function error");
                        },
                        {}});
    QString shown;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    Find<QPushButton>(window, "cmdResend")->click();
    EXPECT_EQ(shown, "Error: Shell function error");
    Find<QPushButton>(window, "cmdResend")->click();
    EXPECT_EQ(resends, 2);
}

TEST(QtExit, ExitAndTheCloseBoxUnloadOnceAndTakeTheLogAlong) {
    {
        MainWindow window;
        int unloads = 0;
        window.SetHandlers({{}, {}, [&] { ++unloads; }});
        ASSERT_TRUE(ShowAndWait(window));
        window.ShowLog();
        QPointer<LogWindow> log = window.Log();

        Find<QPushButton>(window, "cmdExit")->click();
        EXPECT_EQ(unloads, 1);
        EXPECT_FALSE(window.isVisible());
        EXPECT_TRUE(log.isNull());

        window.close();
        window.Unload();
        EXPECT_EQ(unloads, 1);
        // After the end, the buttons run nothing.
        bool ran = false;
        window.SetHandlers({[&] { ran = true; }, {}, [&] { ++unloads; }});
        Find<QPushButton>(window, "cmdTransfer")->click();
        EXPECT_FALSE(ran);
    }
    {
        MainWindow window;
        int unloads = 0;
        window.SetHandlers({{}, {}, [&] { ++unloads; }});
        ASSERT_TRUE(ShowAndWait(window));
        window.close();  // the title-bar close box
        EXPECT_EQ(unloads, 1);
        EXPECT_FALSE(window.isVisible());
    }
}

TEST(QtExit, ClosingDuringARunEndsTheProgramAfterTheRun) {
    MainWindow window;
    int unloads = 0, unloadsDuringRun = -1;
    bool visibleDuringRun = false;
    window.SetHandlers({[&] {
                            window.close();
                            unloadsDuringRun = unloads;
                            visibleDuringRun = window.isVisible();
                        },
                        {}, [&] { ++unloads; }});
    ASSERT_TRUE(ShowAndWait(window));
    Find<QPushButton>(window, "cmdTransfer")->click();
    EXPECT_EQ(unloadsDuringRun, 0);
    EXPECT_TRUE(visibleDuringRun);
    EXPECT_EQ(unloads, 1);
    EXPECT_FALSE(window.isVisible());
}

TEST(QtIdentity, TheProgramIsKnownByItsNameClassAndIcon) {
    SetApplicationIdentity(*qApp);
    EXPECT_EQ(QApplication::applicationName(), "ZilbaCompanion");
    EXPECT_EQ(QGuiApplication::desktopFileName(), "zilba-companion");
    EXPECT_EQ(QApplication::applicationVersion(), ZC_VERSION_TEXT);
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_TRUE(QApplication::windowIcon().availableSizes().contains(QSize(32, 32)));
}

}  // namespace
}  // namespace zc::qt
