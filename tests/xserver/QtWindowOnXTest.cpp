// SPDX-License-Identifier: MIT
// The Qt window on a real X server (Qt's xcb platform under Xvfb), judged by
// what the server holds: window names and sizes, and the message boxes as a
// window manager sees them. (Which controls are shown, and where, is read
// from the accessibility bus: tests/accessibility.)
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <set>

#include "ApplicationSetup.h"
#include "QtRig.h"
#include "SingleInstance.h"
#include "XServerView.h"

using testing_support::QtRig;
using xview::WindowInfo;

namespace {

const QString Caption = QStringLiteral("Zandor Firmware Updater v1.6");

// While a box is up, finds it on the server, notes what the server says of
// it and closes it as a window manager would.
class BoxCatcher : public QObject {
public:
    BoxCatcher(xview::XServerView& x, xview::WindowId mainWindow) : x_(x), main_(mainWindow) {
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start(5);
    }
    std::vector<WindowInfo> boxes;
    bool mainMappedWhileBoxShown = false;

private:
    void Look() {
        for (const auto& w : x_.TopLevels()) {
            if (!w.mapped || w.id == main_ || w.netWmName.empty() || closed_.count(w.id)) continue;
            boxes.push_back(w);
            if (auto mainInfo = x_.Describe(main_)) mainMappedWhileBoxShown |= mainInfo->mapped;
            closed_.insert(w.id);
            x_.RequestClose(w.id);
        }
    }
    xview::XServerView& x_;
    xview::WindowId main_;
    QTimer timer_;
    std::set<xview::WindowId> closed_;
};

bool Has(const std::vector<std::string>& list, const char* item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

class QtWindowOnXTest : public QObject {
    Q_OBJECT

    xview::XServerView x;

    xview::WindowId Id(const QWidget& w) { return static_cast<xview::WindowId>(w.winId()); }

private slots:
    void initTestCase() {
        QVERIFY2(x.Connected(), "needs an X server: run through with-xvfb.sh");
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    // The caption exactly as the program sets it, in both the name desktops
    // read and the one older tools read; the client area at 96 dpi.
    void captionAndClientSize() {
        QtRig rig;
        rig.window.Start();
        QVERIFY(QTest::qWaitFor([&] { return x.MappedTopLevelsNamed(Caption.toStdString()).size() == 1; }, 5000));
        const auto info = *x.Describe(Id(rig.window));
        QCOMPARE(QString::fromStdString(info.netWmName), Caption);
        QCOMPARE(QString::fromStdString(info.wmName), Caption);
        QCOMPARE(info.width, 336);
        QCOMPARE(info.height, 273);
    }

    // Every kind of box: its title on the server, exactly; the stop boxes
    // above other windows; the start-up exits never map the main window.
    void boxes_data() {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("above");
        QTest::addColumn<bool>("startupExit");
        QTest::newRow("second copy") << "second copy" << "Zandor Firmware Updater" << true << true;
        QTest::newRow("no interface") << "no interface" << "USB Error!" << false << true;
        QTest::newRow("not in update mode") << "silent board" << "Zandor Firmware Updater" << true << true;
        QTest::newRow("connection lost") << "purge-fail#1" << "USB Error" << false << false;
        QTest::newRow("release refused") << "no release" << "Device not supported!" << false << false;
        QTest::newRow("write failure") << "ack-wrong@0x800" << "Write Failure!" << false << false;
        QTest::newRow("verify failure") << "corrupt@0x400" << "Verify Failure!" << false << false;
        QTest::newRow("first page") << "ack-missing@0" << "Write Failure!" << false << false;
    }
    void boxes() {
        QFETCH(QString, scenario);
        QFETCH(QString, title);
        QFETCH(bool, above);
        QFETCH(bool, startupExit);

        QTemporaryDir lockDir;
        app::SingleInstance first(QStringLiteral("UpdaterX"), lockDir.path());
        app::SingleInstance second(QStringLiteral("UpdaterX"), lockDir.path());
        QVERIFY(!first.AnotherRunning());

        sim::BoardSetup board;
        sim::LinkSetup link;
        sim::ScriptedFaults faults;
        if (scenario == "silent board") board.silent = true;
        if (scenario == "no interface") link.descriptions.clear();
        if (scenario.contains('@') || scenario.contains('#'))
            QCOMPARE(QString::fromStdString(faults.Add(scenario.toStdString())), QString());
        QtRig rig(board, &faults, link, scenario == "second copy" ? &second : nullptr);
        if (scenario == "no release") rig.resources = image::MemoryResources{};

        x.WatchMaps(Id(rig.window));
        BoxCatcher catcher(x, Id(rig.window));
        rig.window.Start();
        if (!rig.window.Finished()) rig.Click("Find Device");
        if (!rig.window.Finished() && rig.VisibleButtons().contains("Flash Device")) rig.Click("Flash Device");

        QCOMPARE(catcher.boxes.size(), std::size_t(1));
        const WindowInfo& box = catcher.boxes[0];
        QCOMPARE(QString::fromStdString(box.netWmName), title);
        QCOMPARE(QString::fromStdString(box.wmName), title);
        QCOMPARE(Has(box.netWmState, "_NET_WM_STATE_ABOVE"), above);
        QVERIFY(Has(box.netWmState, "_NET_WM_STATE_MODAL"));
        if (startupExit) {
            QVERIFY(rig.window.Finished());
            QVERIFY(!catcher.mainMappedWhileBoxShown);
            QVERIFY2(!x.WasMapped(Id(rig.window)), "the main window was never to be shown");
        } else {
            QVERIFY(x.WasMapped(Id(rig.window)));
        }
    }
};

// The same application setup as the programs, so a name that a platform
// would add to every title shows here.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    app::SetUpApplication(QStringLiteral("UpdaterSim"));
    QtWindowOnXTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "QtWindowOnXTest.moc"
