#include "shells/qt/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Error.h"

// The pictures are compiled into the shell's static library, whose resource table the linker
// would drop unless something refers to it.
static void InitShellResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(images);
        return true;
    }();
    (void)done;
}

namespace zc::qt {

namespace {

QIcon AppIcon() {
    InitShellResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addFile(QStringLiteral(":/zc/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

QLabel* NamedLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QLineEdit* NamedField(const char* name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    return field;
}

// A counter: "0" to start with, locked, grey like a button face, skipped by the keyboard.
QLineEdit* Counter(const char* name, QWidget* parent) {
    QLineEdit* field = NamedField(name, parent);
    field->setText(QStringLiteral("0"));
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette palette = field->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Button));
    field->setPalette(palette);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-000000")) + 8);
    return field;
}

QPushButton* NamedButton(const char* name, const char* text, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumWidth(88);
    button->setAutoDefault(true);  // Enter presses the button that has the focus
    return button;
}

QLabel* Picture(const char* name, const char* resource, QSize size, QWidget* parent) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setPixmap(QPixmap(QString::fromLatin1(resource)));
    picture->setFixedSize(size);
    return picture;
}

// Box texts come from steps and servers: show them as they are, never as markup, with CR LF
// breaking the line once.
QString BoxText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

void SetApplicationIdentity(QApplication& app) {
    // The application name is the X11 window class; the desktop file name the Wayland app id.
    QApplication::setApplicationName(QStringLiteral("ZilbaCompanion"));
    QApplication::setApplicationVersion(QStringLiteral(ZC_VERSION_TEXT));
    QGuiApplication::setDesktopFileName(QStringLiteral("zilba-companion"));
    app.setWindowIcon(AppIcon());
}

// Around every box and dialog: the arrow stands in for the hourglass while the user is asked,
// and afterwards both windows are painted again, since a run goes on without an event loop to
// mend the place where the box stood.
class ModalScope {
public:
    explicit ModalScope(MainWindow& window) : window_(window) {
        if (window_.hourglass_) QApplication::changeOverrideCursor(Qt::ArrowCursor);
    }
    ~ModalScope() {
        if (window_.hourglass_) QApplication::changeOverrideCursor(Qt::WaitCursor);
        if (window_.isVisible()) window_.repaint();
        if (window_.log_) window_.log_->RepaintNow();
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    MainWindow& window_;
};

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint) {
    InitShellResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowIcon(AppIcon());

    // Banner across the top, edge to edge.
    auto* banner = new QHBoxLayout;
    banner->setContentsMargins(0, 0, 0, 0);
    banner->setSpacing(0);
    banner->addWidget(Picture("Image1", ":/zc/banner-left.png", QSize(204, 47), this));
    banner->addWidget(Picture("Image2", ":/zc/banner-right.png", QSize(276, 47), this));
    banner->addStretch(1);

    // Configuration: labels above their fields; server and site share the last row.
    auto* frame2 = new QGroupBox(QStringLiteral("Configuration"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    txtDeviceDir_ = NamedField("txtDeviceDir", frame2);
    txtLocalDir_ = NamedField("txtLocalDir", frame2);
    txtServer_ = NamedField("txtServer", frame2);
    txtSite_ = NamedField("txtSite", frame2);
    auto* config = new QGridLayout(frame2);
    config->setVerticalSpacing(2);
    config->addWidget(NamedLabel("Label1", "Handheld directory", frame2), 0, 0, 1, 2);
    config->addWidget(txtDeviceDir_, 1, 0, 1, 2);
    config->addItem(new QSpacerItem(0, 6), 2, 0);
    config->addWidget(NamedLabel("Label2", "Local directory", frame2), 3, 0, 1, 2);
    config->addWidget(txtLocalDir_, 4, 0, 1, 2);
    config->addItem(new QSpacerItem(0, 6), 5, 0);
    config->addWidget(NamedLabel("Label3", "Zilba server", frame2), 6, 0);
    config->addWidget(NamedLabel("Label10", "Zilba site", frame2), 6, 1);
    config->addWidget(txtServer_, 7, 0);
    config->addWidget(txtSite_, 7, 1);
    config->setColumnStretch(0, 3);
    config->setColumnStretch(1, 2);
    config->setRowStretch(8, 1);

    // Status: one counter a row; the two upload counters stand indented under their heading.
    auto* frame3 = new QGroupBox(QStringLiteral("Status"), this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    txtSessions_ = Counter("txtSessions", frame3);
    txtEvents_ = Counter("txtEvents", frame3);
    txtSigns_ = Counter("txtSigns", frame3);
    txtSuccess_ = Counter("txtSuccess", frame3);
    txtFailure_ = Counter("txtFailure", frame3);
    QLabel* success = NamedLabel("Label8", "Success", frame3);
    QLabel* failure = NamedLabel("Label9", "Failure", frame3);
    success->setIndent(12);
    failure->setIndent(12);
    auto* status = new QGridLayout(frame3);
    status->setVerticalSpacing(3);
    status->addWidget(NamedLabel("Label4", "Sessions", frame3), 0, 0);
    status->addWidget(txtSessions_, 0, 1);
    status->addWidget(NamedLabel("Label5", "Events", frame3), 1, 0);
    status->addWidget(txtEvents_, 1, 1);
    status->addWidget(NamedLabel("Label6", "Signatures", frame3), 2, 0);
    status->addWidget(txtSigns_, 2, 1);
    status->addWidget(NamedLabel("Label7", "Upload", frame3), 3, 0, 1, 2);
    status->addWidget(success, 4, 0);
    status->addWidget(txtSuccess_, 4, 1);
    status->addWidget(failure, 5, 0);
    status->addWidget(txtFailure_, 5, 1);
    status->setRowStretch(6, 1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(frame2, 1);
    groups->addWidget(frame3, 0);

    // The buttons: Exit alone on the left, Resend and Transfer on the right.
    auto* frame1 = new QGroupBox(this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    cmdExit_ = NamedButton("cmdExit", "E&xit", frame1);
    cmdResend_ = NamedButton("cmdResend", "&Resend", frame1);
    cmdTransfer_ = NamedButton("cmdTransfer", "&Transfer", frame1);
    auto* buttons = new QHBoxLayout(frame1);
    buttons->addWidget(cmdExit_);
    buttons->addStretch(1);
    buttons->addWidget(cmdResend_);
    buttons->addWidget(cmdTransfer_);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 6, 8, 8);
    body->addLayout(groups);
    body->addWidget(frame1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(banner);
    layout->addLayout(body);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Status as narrow as its counters allow; configuration takes the rest of the banner's width.
    const int bannerWidth = 204 + 276;
    frame2->setFixedWidth(bannerWidth - body->contentsMargins().left() -
                          body->contentsMargins().right() - groups->spacing() -
                          frame3->sizeHint().width());

    setTabOrder(cmdTransfer_, cmdExit_);
    setTabOrder(cmdExit_, txtDeviceDir_);
    setTabOrder(txtDeviceDir_, txtLocalDir_);
    setTabOrder(txtLocalDir_, txtServer_);
    setTabOrder(txtServer_, txtSite_);
    setTabOrder(txtSite_, cmdResend_);
    cmdTransfer_->setFocus();

    connect(cmdTransfer_, &QPushButton::clicked, this, [this] {
        if (controller_) controller_->Transfer();
    });
    connect(cmdResend_, &QPushButton::clicked, this, [this] {
        if (controller_) controller_->Resend();
    });
    connect(cmdExit_, &QPushButton::clicked, this, &QWidget::close);

    catchUp_.setSingleShot(true);
    catchUp_.setInterval(0);
    connect(&catchUp_, &QTimer::timeout, this, [this] {
        if (controller_) controller_->PaintIfHeld();
    });
}

MainWindow::~MainWindow() {
    if (hourglass_) QApplication::restoreOverrideCursor();
    delete log_.data();
}

QLineEdit* MainWindow::FieldBox(Field field) const {
    switch (field) {
        case Field::DeviceDir: return txtDeviceDir_;
        case Field::LocalDir: return txtLocalDir_;
        case Field::Server: return txtServer_;
        case Field::Site: return txtSite_;
        case Field::Sessions: return txtSessions_;
        case Field::Events: return txtEvents_;
        case Field::Signs: return txtSigns_;
        case Field::Success: return txtSuccess_;
        case Field::Failure: return txtFailure_;
    }
    RaiseSubscript();
}

std::string MainWindow::Text(Field field) {
    QLineEdit* box = FieldBox(field);
    const std::optional<QString>& held = held_[static_cast<size_t>(field)];
    return (held ? *held : box->text()).toStdString();
}

void MainWindow::SetText(Field field, const std::string& text) {
    QLineEdit* box = FieldBox(field);
    std::optional<QString>& held = held_[static_cast<size_t>(field)];
    // A run steps a counter for every row it exports, and each text put into a box is laid out
    // again. While the paint is held back, a counter's new text waits for it in its place; the
    // counters are locked, so nobody types into a box whose text is waiting.
    if (paintHeld_ && box->isReadOnly()) {
        held = QString::fromStdString(text);
        return;
    }
    held.reset();
    box->setText(QString::fromStdString(text));
}

void MainWindow::Refresh() {
    catchUp_.stop();
    for (size_t i = 0; i < held_.size(); ++i) {
        if (!held_[i]) continue;
        FieldBox(static_cast<Field>(i))->setText(*held_[i]);
        held_[i].reset();
    }
    if (log_) log_->Flush();
    // Only what changed is painted (a counter's box, as a rule): the boxes mark themselves when
    // their text is set, and painting the whole window for one count costs ten times more.
    QCoreApplication::sendPostedEvents(this, QEvent::UpdateRequest);
    paintHeld_ = false;
}

void MainWindow::PaintHeld() {
    paintHeld_ = true;
    catchUp_.start();
}

void MainWindow::LetEventsIn() { LetEventsButNoInputIn(); }

void MainWindow::DropInput() { LetEventsButNoInputIn(); }

LogWindow& MainWindow::EnsureLog() {
    if (!log_) {
        log_ = new LogWindow;
        log_->installEventFilter(this);
        connect(log_.data(), &LogWindow::discarded, this, &MainWindow::DiscardLog);
    }
    return *log_;
}

void MainWindow::DiscardLog() {
    // Sent from the log's own close event, so it may only go once that has returned.
    if (LogWindow* old = log_.data()) {
        log_ = nullptr;
        old->deleteLater();
    }
}

void MainWindow::WriteLog(const std::string& message) { EnsureLog().WriteLog(message); }

void MainWindow::WidenLog(const std::string& line) { EnsureLog().WidenFor(QString::fromStdString(line)); }

void MainWindow::ShowLog() { EnsureLog().ShowLog(); }

QWidget* MainWindow::BoxParent() {
    // Start-up boxes come before the window is shown; they stand on their own then.
    return isVisible() ? this : nullptr;
}

bool MainWindow::AskYesNo(const std::string& prompt) {
    ModalScope scope(*this);
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), BoxText(prompt),
                    QMessageBox::Yes | QMessageBox::No, BoxParent());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::ShowMessage(const std::string& text) {
    ModalScope scope(*this);
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), BoxText(text),
                    QMessageBox::Ok, BoxParent());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MainWindow::ShowWarning(const std::string& text) {
    ModalScope scope(*this);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Warning"), BoxText(text),
                    QMessageBox::Ok, BoxParent());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::string MainWindow::ChooseFile(const std::string& title, const std::string& filter,
                                   const std::string& folder) {
    ModalScope scope(*this);
    const QString chosen = QFileDialog::getOpenFileName(BoxParent(), QString::fromStdString(title),
                                                        QString::fromStdString(folder),
                                                        QString::fromStdString(filter));
    return chosen.toStdString();
}

void MainWindow::SetCursor(Cursor cursor) {
    // One override at most, so a second hourglass never needs a second arrow.
    if (cursor == Cursor::Hourglass && !hourglass_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        hourglass_ = true;
    } else if (cursor == Cursor::Arrow && hourglass_) {
        QApplication::restoreOverrideCursor();
        hourglass_ = false;
    }
}

void MainWindow::WhenShown(std::function<void()> then) { QTimer::singleShot(0, this, std::move(then)); }

void MainWindow::closeEvent(QCloseEvent* event) {
    // The controller ends the program, now or after the run.
    if (!controller_) return event->accept();
    event->ignore();
    controller_->Close();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The log is the run's only account: its close box does nothing until the run is over.
    // (The type first: a log window being taken down is no longer one, so it is not compared.)
    if (event->type() == QEvent::Close && controller_ && !controller_->MayCloseLog() && watched == log_) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::End() {
    hide();
    delete log_.data();
    QCoreApplication::quit();
}

}  // namespace zc::qt
