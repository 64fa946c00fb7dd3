// SPDX-License-Identifier: MIT
#include "QtMainWindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QWindow>
#include <QPushButton>

#include "AppFacts.h"
#include "ControlLayout.h"
#include "BuildVersion.h"
#include "SingleInstance.h"

namespace app {

namespace {
// What the window is to assistive technology: a frame named by its caption.
// A plain QWidget window reports itself as a "filler", which screen readers
// do not announce as a window.
QAccessibleInterface* MainWindowAccessible(const QString&, QObject* object) {
    auto* window = qobject_cast<QtMainWindow*>(object);
    if (window == nullptr) return nullptr;
    return new QAccessibleWidget(window, QAccessible::Window);
}

void Place(QWidget* widget, const Placement& p) {
    widget->setGeometry(QtMainWindow::TwipsToPixels(p.left), QtMainWindow::TwipsToPixels(p.top),
                        QtMainWindow::TwipsToPixels(p.width),
                        QtMainWindow::TwipsToPixels(p.height));
}
}  // namespace

// Qt scales for the screen's density itself: lay out at 96 dpi.
int QtMainWindow::TwipsToPixels(int twips) { return app::TwipsToPixels(twips, 96); }

QtMainWindow::QtMainWindow(SingleInstance* instance, QWidget* parent)
    : QWidget(parent),
      instance_(instance),
      awake_(QString::fromUtf8(ApplicationTitle), QString::fromUtf8(UpdateRunningReason)) {
    setObjectName(QStringLiteral("fmStart"));
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(&MainWindowAccessible);
        return true;
    }();
    (void)factoryInstalled;
    setFixedSize(TwipsToPixels(ClientWidthTwips), TwipsToPixels(ClientHeightTwips));
    setWindowIcon(QIcon(QStringLiteral(":/images/updater.ico")));

    picture_ = new QLabel(this);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_->setPixmap(QPixmap(QStringLiteral(":/images/board.jpg")));
    picture_->setAccessibleName(QString::fromUtf8(PictureName));
    Place(picture_, PicturePlacement);

    deviceName_ = new QLabel(this);
    deviceName_->setObjectName(QStringLiteral("DeviceName"));
    deviceName_->setAlignment(Qt::AlignCenter);
    Place(deviceName_, DeviceNamePlacement);

    statusText_ = new QLabel(this);
    statusText_->setObjectName(QStringLiteral("StatusText"));
    statusText_->setAlignment(Qt::AlignCenter);
    Place(statusText_, StatusTextPlacement);

    for (int i = 0; i < ButtonCount; ++i) {
        auto* button = new QPushButton(QString::fromUtf8(ButtonCaptions[i]), this);
        button->setObjectName(QStringLiteral("Button%1").arg(i));
        Place(button, ButtonPlacement[i]);
        button->setAutoDefault(true);  // Enter presses the button that has the keyboard, as Space does
        connect(button, &QPushButton::clicked, this, [this, i] {
            Dispatch([this, i] { handlers_->Button_Click(static_cast<std::int16_t>(i)); });
        });
        buttons_[static_cast<std::size_t>(i)] = button;
    }
    // "Read Flash" starts hidden: shown disabled it would sit over the photograph.
    buttons_[ReadFlash]->setVisible(false);

    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("ProgressBar"));
    progressBar_->setMinimum(0);
    progressBar_->setValue(0);  // not Qt's "no value" (-1) for anyone who asks before the first run
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(QString::fromUtf8(ProgressName));
    const QString hint = QString::fromUtf8(ProgressHint);
    progressBar_->setToolTip(hint);
    progressBar_->setAccessibleDescription(hint);
    Place(progressBar_, ProgressPlacement);

    // Keyboard order: Read Flash, Ok!, Abort Flash, picture, Find Device,
    // progress bar, Flash Device, device line, status line.
    const QWidget* order[] = {buttons_[ReadFlash], buttons_[OkButton],   buttons_[AbortFlash],
                              picture_,            buttons_[FindDevice], progressBar_,
                              buttons_[FlashDeviceButton], deviceName_, statusText_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
}

QtMainWindow::~QtMainWindow() = default;

void QtMainWindow::Start() {
    Dispatch([this] { handlers_->Form_Load(); });
}

void QtMainWindow::Dispatch(const std::function<void()>& handler) {
    if (!Finished()) Run(handler);
}

void QtMainWindow::Run(const std::function<void()>& handler) {
    if (handlers_ == nullptr) return;
    ++depth_;
    handler();
    --depth_;
    if (depth_ == 0 && Finished()) QCoreApplication::quit();  // only ends a running main loop
}

void QtMainWindow::EndSession() {
    if (!ended_) Run([this] { handlers_->Session_End(); });
}

bool QtMainWindow::PreviousInstance() {
    return instance_ != nullptr && instance_->AnotherRunning();
}

std::string QtMainWindow::ExecutableName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
}

int QtMainWindow::VersionMajor() { return BuildVersionMajor; }
int QtMainWindow::VersionMinor() { return BuildVersionMinor; }

void QtMainWindow::SetCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void QtMainWindow::ShowWindow() { show(); }

void QtMainWindow::CloseWindow() {
    if (closed_) return;
    if (handlers_ != nullptr) handlers_->Form_Unload();
    closed_ = true;
    hide();
}

void QtMainWindow::EndProgram() {
    ended_ = true;
    if (shownBox_ != nullptr) shownBox_->reject();  // its exec returns, then the handler
}

void QtMainWindow::SetButtonVisible(int index, bool visible) {
    if (index >= 0 && index < ButtonCount) buttons_[static_cast<std::size_t>(index)]->setVisible(visible);
}

void QtMainWindow::SetKeyboardFocus(int index) {
    if (index >= 0 && index < ButtonCount)
        buttons_[static_cast<std::size_t>(index)]->setFocus(Qt::OtherFocusReason);
    else
        setFocus(Qt::OtherFocusReason);  // the window itself: a key reaches no button
}

void QtMainWindow::SetLineText(Line line, const std::string& text) {
    (line == Line::StatusText ? statusText_ : deviceName_)->setText(QString::fromStdString(text));
}

void QtMainWindow::SetProgressVisible(bool visible) { progressBar_->setVisible(visible); }
void QtMainWindow::SetProgressMax(int max) { progressBar_->setMaximum(max); }
void QtMainWindow::SetProgressValue(int value) { progressBar_->setValue(value); }
int QtMainWindow::ProgressValue() { return progressBar_->value(); }

void QtMainWindow::MessageBox(const std::string& text, int style,
                              const std::optional<std::string>& title) {
    const MessageBoxRequest request{text, style, title.value_or(ApplicationTitle)};
    if (answerBox_) {
        answerBox_(request);
        return;
    }
    const bool stop = style == StyleStopOnTop;
    QMessageBox box(stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(request.title), QString::fromStdString(text),
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setWindowModality(Qt::ApplicationModal);
    // The nearest this platform has to a system-modal box: above every other window.
    if (stop) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    shownBox_ = &box;
    box.exec();
    shownBox_ = nullptr;
}

void QtMainWindow::Yield() { QCoreApplication::processEvents(); }

void QtMainWindow::KeepAwake(bool on) {
    if (on)
        awake_.Hold();
    else
        awake_.Release();
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    if (closed_ || handlers_ == nullptr) {
        event->accept();
        return;
    }
    if (handlers_->Form_QueryUnload()) {
        // An update is running: closing now would cut the link under it.
        event->ignore();
        QApplication::beep();
        return;
    }
    handlers_->Form_Unload();
    closed_ = true;
    event->accept();
    if (depth_ == 0) QCoreApplication::quit();  // only ends a running main loop
}

}  // namespace app
