// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own icon on every window, and what Varrow and its help viewer
// say about themselves before any window exists (so without a display).
#include "Icons.h"
#include "ShellTestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <string>

namespace varrow::testing {
namespace {

using ProgramIdentity = ShellTest;

QImage imageOf(const QIcon& icon, int side) {
    return icon.pixmap(QSize(side, side)).toImage();
}

TEST_F(ProgramIdentity, EveryWindowShowsTheProgramsIcon) {
    const QIcon icon = programIcon();
    for (const int side : {16, 48, 256}) {
        SCOPED_TRACE(side);
        const QImage image = imageOf(icon, side);
        ASSERT_EQ(image.size(), QSize(side, side));
        // Drawn, not blank: the disc's middle is opaque, the corner clear.
        EXPECT_EQ(qAlpha(image.pixel(side * 28 / 64, side * 12 / 64)), 255);
        EXPECT_EQ(qAlpha(image.pixel(0, side - 1)), 0);
    }

    addDrive("VIRTUAL CD 1.0", discOf({audio(750)}));
    createWindow();
    const QImage expected = imageOf(icon, 32);
    for (QWidget* window : std::initializer_list<QWidget*>{form, &mp3Dlg(), &progress()}) {
        SCOPED_TRACE(window->metaObject()->className());
        EXPECT_EQ(imageOf(window->windowIcon(), 32), expected);
    }
}

TEST(ProgramInfo, VersionAndHelpNeedNoDisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    const struct {
        const char* program;
        const char* argument;
        const char* startsWith;
        const char* mentions;
    } cases[] = {
        {VARROW_APP, "--version", "Varrow " VARROW_VERSION "\n", ""},
        {VARROW_APP, "--help", "Usage: Varrow [DISC]\n", "VARROW_CD_IMAGES"},
        {VARROW_HELP_VIEWER, "--version", "varrow-help " VARROW_VERSION "\n", ""},
        {VARROW_HELP_VIEWER, "--help", "Usage: varrow-help HELPFILE", "--version"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.argument);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QString::fromLocal8Bit(c.program), {QString::fromLatin1(c.argument)});
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        EXPECT_TRUE(out.startsWith(QString::fromLatin1(c.startsWith))) << out.toStdString();
        EXPECT_TRUE(out.contains(QString::fromLatin1(c.mentions))) << out.toStdString();
        EXPECT_EQ(program.readAllStandardError(), QByteArray());
    }
}

} // namespace
} // namespace varrow::testing
