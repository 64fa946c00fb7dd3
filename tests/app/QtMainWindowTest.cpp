// SPDX-License-Identifier: MIT
// The real Qt window, on Qt's offscreen platform.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "QtRig.h"

using namespace testing_support;

class QtMainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void geometry_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("Find Device") << "Button0" << QRect(1613, 3240, 1815, 495);
        QTest::newRow("Flash Device") << "Button1" << QRect(773, 3240, 1455, 495);
        QTest::newRow("Abort Flash") << "Button2" << QRect(2813, 3240, 1455, 495);
        QTest::newRow("Ok!") << "Button3" << QRect(1980, 3240, 1080, 495);
        QTest::newRow("Read Flash") << "Button4" << QRect(1560, 1080, 1815, 495);
        QTest::newRow("device line") << "DeviceName" << QRect(540, 2400, 3975, 255);
        QTest::newRow("status line") << "StatusText" << QRect(525, 2760, 3975, 255);
        QTest::newRow("progress bar") << "ProgressBar" << QRect(1260, 3270, 2535, 435);
        QTest::newRow("photograph") << "Picture1" << QRect(1320, 360, 2400, 1935);
    }
    void geometry() {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        app::QtMainWindow window;
        auto* control = window.findChild<QWidget*>(name);
        QVERIFY(control != nullptr);
        const auto px = [](int t) { return qRound(t / 15.0); };
        QCOMPARE(control->geometry(),
                 QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
    }

    void clientArea() {
        app::QtMainWindow window;
        QCOMPARE(window.size(), QSize(336, 273));
        QCOMPARE(window.minimumSize(), window.maximumSize());
    }

    void captions_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("caption");
        QTest::newRow("0") << 0 << "Find Device";
        QTest::newRow("1") << 1 << "Flash Device";
        QTest::newRow("2") << 2 << "Abort Flash";
        QTest::newRow("3") << 3 << "Ok!";
        QTest::newRow("4") << 4 << "Read Flash";
    }
    // The button array in the accessible tree's order, each named by its caption.
    void captions() {
        QFETCH(int, index);
        QFETCH(QString, caption);
        app::QtMainWindow window;
        const auto buttons = ControlsOfRole(window, QAccessible::Button);
        QCOMPARE(buttons.size(), 5);
        QCOMPARE(Name(buttons.at(index)), caption);
    }

    // Keyboard focus visits the buttons in the table's order; the lines,
    // the picture and the bar take no focus.
    void tabOrder() {
        app::QtMainWindow window;
        QStringList chain;
        QWidget* w = ButtonCaptioned(window, "Read Flash");
        for (int i = 0; i < 20 && chain.size() < 5; ++i, w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus) chain << Name(QAccessible::queryAccessibleInterface(w));
        QCOMPARE(chain, QStringList({"Read Flash", "Ok!", "Abort Flash", "Find Device", "Flash Device"}));
    }

    void resourcesAndHint() {
        app::QtMainWindow window;
        const auto images = ControlsOfRole(window, QAccessible::Graphic);
        QCOMPARE(images.size(), 1);
        QCOMPARE(Name(images[0]), QString("Photograph of the board"));
        QCOMPARE(images[0]->imageInterface()->imageSize(), QSize(160, 120));
        QVERIFY(!window.windowIcon().isNull());
        const QList<QSize> sizes = window.windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(32, 32)));
        QVERIFY(sizes.contains(QSize(16, 16)));
        const QString hint = "This bar shows the current progress of an operation.";
        QAccessibleInterface* bar = ProgressBar(window);
        QCOMPARE(Name(bar), QString("Update progress"));
        QCOMPARE(bar->text(QAccessible::Description), hint);
        QCOMPARE(qobject_cast<QWidget*>(bar->object())->toolTip(), hint);  // on hover
    }

    void idleDisplayAfterStartup() {
        QtRig rig;
        rig.RecordBoxes();
        rig.window.Start();
        QVERIFY(!rig.window.Finished());
        QVERIFY(rig.window.isVisible());
        QCOMPARE(rig.window.windowTitle(), QString("Zandor Firmware Updater v1.6"));
        QCOMPARE(rig.VisibleButtons(), QStringList{"Find Device"});
        QVERIFY(!Shown(ProgressBar(rig.window)));
        QCOMPARE(Lines(rig.window), QStringList({"", ""}));
        for (QAccessibleInterface* line : ControlsOfRole(rig.window, QAccessible::StaticText))
            QCOMPARE(qobject_cast<QLabel*>(line->object())->alignment(), Qt::AlignCenter);
    }

    void wholeUpdateThroughTheButtons() {
        QtRig rig;
        rig.RecordBoxes();
        rig.window.Start();
        QTest::mouseClick(ButtonCaptioned(rig.window, "Find Device"), Qt::LeftButton);
        QCOMPARE(rig.VisibleButtons(), QStringList({"Flash Device", "Abort Flash"}));
        QCOMPARE(Lines(rig.window),
                 QStringList({"Zandor - Hardware v2.3", "Firmware: v1. 2  -  Upgrading to: v1. 6"}));
        QTest::mouseClick(ButtonCaptioned(rig.window, "Flash Device"), Qt::LeftButton);
        QCOMPARE(rig.VisibleButtons(), QStringList{"Ok!"});
        QCOMPARE(Lines(rig.window).value(1), QString("Flash Complete!"));
        QCOMPARE(ProgressMaximum(rig.window), 63);
        QCOMPARE(ProgressValue(rig.window), 62);
        QVERIFY(rig.boxes.empty());
    }

    // A close request that arrives while an operation yields is refused, and
    // the operation completes; afterwards closing works and closes the link.
    void closeRefusedWhileBusy_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("status");
        QTest::newRow("device check") << 0 << "Firmware: v1. 2  -  Upgrading to: v1. 6";
        QTest::newRow("programming run") << 1 << "Flash Complete!";
    }
    void closeRefusedWhileBusy() {
        QFETCH(int, button);
        QFETCH(QString, status);
        QtRig rig;
        rig.RecordBoxes();
        rig.window.Start();
        if (button == 1) rig.Click("Find Device");
        bool posted = false;
        QTimer::singleShot(0, &rig.window, [&] {
            posted = true;
            rig.window.close();
            ButtonCaptioned(rig.window, "Find Device")->click();  // clicks during the yield are ignored too
        });
        rig.Click(button == 0 ? "Find Device" : "Flash Device");
        QVERIFY(posted);
        QVERIFY(rig.window.isVisible());
        QVERIFY(!rig.window.Finished());
        QCOMPARE(Lines(rig.window).value(1), status);
        QVERIFY(rig.driver.IsOpen());
        rig.window.close();
        QVERIFY(rig.window.Finished());
        QVERIFY(!rig.driver.IsOpen());
    }

    void failureReturnsToIdle_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("text");
        QTest::newRow("main write") << "ack-wrong@0x800" << "Device write error! Data is corrupted!  Re-try update!";
        QTest::newRow("main verify") << "corrupt@0x400" << "Device verify error!  Data is corrupted!  Re-try update!";
        QTest::newRow("first page write") << "ack-missing@0" << "Step 3 - Device write error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!";
        QTest::newRow("first page verify") << "corrupt@0" << "Device verify error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!";
        QTest::newRow("board unplugged") << "gone@0x4000" << "Step 3 - Device write error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!";
    }
    void failureReturnsToIdle() {
        QFETCH(QString, fault);
        QFETCH(QString, text);
        sim::ScriptedFaults faults;
        QCOMPARE(QString::fromStdString(faults.Add(fault.toStdString())), QString());
        QtRig rig({}, &faults);
        rig.RecordBoxes();
        rig.window.Start();
        rig.Click("Find Device");
        rig.Click("Flash Device");
        QCOMPARE(rig.boxes.size(), size_t(1));
        QCOMPARE(QString::fromStdString(rig.boxes[0].text), text);
        QCOMPARE(rig.VisibleButtons(), QStringList{"Find Device"});
        QVERIFY(!Shown(ProgressBar(rig.window)));
        QCOMPARE(Lines(rig.window).value(1), QString());
    }

    // The session ends while the board is written, or while a failure box
    // waits for a person: the box closes, the link closes, the window goes
    // and nothing more reaches the driver.
    void sessionEnd_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("during the update") << "";
        QTest::newRow("while a failure box is open") << "ack-wrong@0x800";
    }
    void sessionEnd() {
        QFETCH(QString, fault);
        sim::ScriptedFaults faults;
        if (!fault.isEmpty()) QCOMPARE(QString::fromStdString(faults.Add(fault.toStdString())), QString());
        QtRig rig({}, fault.isEmpty() ? nullptr : &faults);  // real boxes
        rig.window.Start();
        rig.Click("Find Device");
        int boxes = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            QWidget* box = QApplication::activeModalWidget();
            boxes += box != nullptr;
            if (fault.isEmpty() ? ProgressValue(rig.window) >= 5 : box != nullptr) {
                watch.stop();
                rig.window.EndSession();
            }
        });
        watch.start(0);
        rig.Click("Flash Device");
        QVERIFY(rig.window.Finished());
        QVERIFY(!rig.window.isVisible());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(boxes, fault.isEmpty() ? 0 : 1);
        QVERIFY(!rig.driver.IsOpen());
        QCOMPARE(rig.driver.ClosedHandleCalls(), 0);
        QCOMPARE(rig.driver.Calls().back(), std::string("FT_Close()"));
        QVERIFY(Lines(rig.window).value(1) != "Flash Complete!");
    }

    void startupExitNeverShowsTheWindow() {
        sim::BoardSetup board;
        board.silent = true;
        QtRig rig(board);
        rig.RecordBoxes();
        rig.window.Start();
        QVERIFY(rig.window.Finished());
        QVERIFY(!rig.window.isVisible());
        QCOMPARE(rig.boxes.size(), size_t(1));
        QCOMPARE(rig.boxes[0].title, std::string("Zandor Firmware Updater"));
        QCOMPARE(rig.boxes[0].style, 0x1010);
    }

    // The real boxes: style 0x1010 has the stop icon and stays on top; a box
    // without a title shows the application title.
    void messageBoxStyles_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<bool>("hasTitle");
        QTest::addColumn<int>("icon");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<QString>("title");
        QTest::newRow("stop, no title") << 0x1010 << false << int(QMessageBox::Critical) << true
                                        << "Zandor Firmware Updater";
        QTest::newRow("plain, titled") << 0 << true << int(QMessageBox::NoIcon) << false << "USB Error!";
    }
    void messageBoxStyles() {
        QFETCH(int, style);
        QFETCH(bool, hasTitle);
        QFETCH(int, icon);
        QFETCH(bool, onTop);
        QFETCH(QString, title);
        app::QtMainWindow window;
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            seen = true;
            QCOMPARE(int(box->icon()), icon);
            QCOMPARE(box->windowTitle(), title);
            QCOMPARE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(box->text(), QString("text"));
            box->accept();
        });
        window.MessageBox("text", style, hasTitle ? std::optional<std::string>("USB Error!") : std::nullopt);
        QVERIFY(seen);
    }
};

QTEST_MAIN(QtMainWindowTest)
#include "QtMainWindowTest.moc"
