// SPDX-License-Identifier: GPL-3.0-or-later
// Starting the help viewer for real: varrow-help is started detached with the
// help argument, and without it the desktop's handler gets the file.
#include "Modals.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using namespace varrow;

namespace {

// Puts only `folder` on the PATH for the lifetime of the object.
class PathScope final {
public:
    explicit PathScope(const QString& folder)
        : saved_(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(folder));
    }
    ~PathScope() { qputenv("PATH", saved_); }
    PathScope(const PathScope&) = delete;
    PathScope& operator=(const PathScope&) = delete;

private:
    QByteArray saved_;
};

// Receives what the desktop would open.
class DesktopHandler final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

TEST(HelpViewerStart, VarrowHelpGetsTheArgumentAndRunsOnItsOwn) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString record = folder.filePath(QStringLiteral("argument.txt"));
    // The viewer writes its argument, then stays: the program must not wait.
    QFile viewer(folder.filePath(QString::fromLatin1(HelpViewerName)));
    ASSERT_TRUE(viewer.open(QIODevice::WriteOnly));
    viewer.write("#!/bin/sh\nprintf '%s' \"$1\" > '" + QFile::encodeName(record) +
                 ".part'\n/bin/mv '" + QFile::encodeName(record) + ".part' '" +
                 QFile::encodeName(record) + "'\n/bin/sleep 8\n");
    viewer.close();
    viewer.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const PathScope path(folder.path());
    ASSERT_EQ(helpViewerProgram(), viewer.fileName());

    const QString argument = QStringLiteral("/opt/varrow/Varrow.chm::/abouttab.htm");
    QElapsedTimer started;
    started.start();
    modals().openHelp(argument);
    EXPECT_LT(started.elapsed(), 4000);
    QFile written(record);
    EXPECT_TRUE(QTest::qWaitFor([&] { return written.exists(); }, 10000));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(written.readAll()), argument);
}

TEST(HelpViewerStart, WithoutVarrowHelpTheDesktopOpensTheFile) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const PathScope path(folder.path());
    ASSERT_EQ(helpViewerProgram(), "");
    DesktopHandler handler;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &handler, "open");
    modals().openHelp(QStringLiteral("/opt/varrow/Varrow.chm::/optionstab.htm"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(handler.opened, QList<QUrl>({QUrl::fromLocalFile("/opt/varrow/Varrow.chm")}));
}

#include "HelpViewerStart_test.moc"
