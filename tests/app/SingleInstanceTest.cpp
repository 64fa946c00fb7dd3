// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "SingleInstance.h"

namespace {

TEST(SingleInstance, SecondCopyFindsTheFirst) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        app::SingleInstance first(QStringLiteral("Updater"), dir.path());
        EXPECT_FALSE(first.AnotherRunning());
        app::SingleInstance second(QStringLiteral("Updater"), dir.path());
        EXPECT_TRUE(second.AnotherRunning());
        app::SingleInstance other(QStringLiteral("UpdaterSim"), dir.path());
        EXPECT_FALSE(other.AnotherRunning()) << "each program has its own lock";
    }
    app::SingleInstance after(QStringLiteral("Updater"), dir.path());
    EXPECT_FALSE(after.AnotherRunning()) << "the lock goes with the copy that held it";
}

TEST(SingleInstance, LockOfACrashedCopyIsRecovered) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A lock file as a copy leaves it when it dies: its process no longer exists.
    QFile stale(QDir(dir.path()).filePath(QStringLiteral("Updater.lock")));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("2147483646\nUpdater\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    app::SingleInstance instance(QStringLiteral("Updater"), dir.path());
    EXPECT_FALSE(instance.AnotherRunning());
}

}  // namespace
