// SPDX-License-Identifier: GPL-3.0-or-later
// The help file the build compiles: it opens with chmlib, holds every topic
// the program opens, and nothing in it points at what is not there.
#include "ChmFile.h"
#include "Sitemap.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <chm_lib.h>
#include <gtest/gtest.h>

using namespace varrowhelp;

namespace {

const QString HelpFile = QStringLiteral(VARROW_HELP_FILE);

// The topics the program opens, from the main window's tabs, the MP3 options
// dialog and the progress window.
const char* const ProgramTopics[] = {
    "/mainwindow.htm",
    "/optionstab.htm",
    "/abouttab.htm",
    "/extractcdtomp3.htm#MP3CompressionOptions",
    "/extractcdtomp3.htm#ExtractionProgress",
};

class HelpFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = ChmFile::open(HelpFile);
        ASSERT_NE(file_, nullptr) << HelpFile.toStdString();
    }

    QString page(const QString& path) const {
        const std::optional<QByteArray> data = file_->read(path);
        return data ? QString::fromUtf8(*data) : QString();
    }

    // The anchors a page defines, by name or id.
    QSet<QString> anchors(const QString& path) const {
        QSet<QString> result;
        static const QRegularExpression anchor(
            QStringLiteral(R"re(<a\s[^>]*(?:name|id)\s*=\s*"([^"]+)")re"),
            QRegularExpression::CaseInsensitiveOption);
        for (const auto& match : anchor.globalMatch(page(path)))
            result.insert(match.captured(1));
        return result;
    }

    // "" when `target` (a page, maybe with an anchor) is in the file.
    std::string missing(const QString& from, const QString& target) const {
        const QString page = target.section(QLatin1Char('#'), 0, 0);
        const QString anchor = target.section(QLatin1Char('#'), 1);
        const QString path = page.isEmpty() ? from : absoluteChmPath(page);
        if (!file_->contains(path))
            return (from + " -> " + target).toStdString();
        if (!anchor.isEmpty() && !anchors(path).contains(anchor))
            return (from + " -> " + target + " (no such anchor)").toStdString();
        return {};
    }

    std::unique_ptr<ChmFile> file_;
};

} // namespace

TEST_F(HelpFileTest, OpensWithChmlibAndHoldsEveryProgramTopicAndAnchor) {
    chmFile* file = chm_open(QFile::encodeName(HelpFile).constData());
    ASSERT_NE(file, nullptr) << HelpFile.toStdString();
    for (const char* topic : ProgramTopics) {
        const QByteArray page = QByteArray(topic).split('#').front();
        chmUnitInfo unit{};
        EXPECT_EQ(chm_resolve_object(file, page.constData(), &unit), CHM_RESOLVE_SUCCESS) << topic;
        EXPECT_GT(unit.length, 500u) << topic;
        EXPECT_EQ(missing(QStringLiteral("/"), QString::fromLatin1(topic)), "") << topic;
    }
    chm_close(file);
}

TEST_F(HelpFileTest, SystemRecordNamesContentsIndexAndStartPage) {
    const ChmSystemInfo& system = file_->system();
    EXPECT_EQ(system.title, "Varrow Help");
    EXPECT_EQ(system.contentsFile, "/Varrow.hhc");
    EXPECT_EQ(system.indexFile, "/Varrow.hhk");
    EXPECT_EQ(system.defaultTopic, "/introduction.htm");
    for (const QString& path : {system.contentsFile, system.indexFile, system.defaultTopic})
        EXPECT_TRUE(file_->contains(path)) << path.toStdString();
}

TEST_F(HelpFileTest, EveryPageOfTheSourcesIsCompiledIn) {
    const QDir sources(QStringLiteral(VARROW_HELP_SOURCES));
    const QStringList pages = sources.entryList({QStringLiteral("*.htm")}, QDir::Files);
    ASSERT_GE(pages.size(), 12);
    for (const QString& name : pages)
        EXPECT_TRUE(file_->contains(QLatin1Char('/') + name)) << name.toStdString();
}

TEST_F(HelpFileTest, EveryLinkPictureAndStyleSheetOfEveryPageIsInTheFile) {
    static const QRegularExpression reference(
        QStringLiteral(R"re(\b(?:href|src)\s*=\s*"([^"]*)")re"),
        QRegularExpression::CaseInsensitiveOption);
    int checked = 0;
    for (const QString& path : file_->files()) {
        if (!path.endsWith(QLatin1String(".htm")))
            continue;
        for (const auto& match : reference.globalMatch(page(path))) {
            const QString target = match.captured(1);
            ASSERT_FALSE(target.contains(QLatin1String("://"))) << target.toStdString();
            EXPECT_EQ(missing(path, target), "");
            ++checked;
        }
    }
    EXPECT_GT(checked, 60);
}

TEST_F(HelpFileTest, EveryContentsAndIndexEntryLeadsToAPage) {
    for (const QString& sitemap : {file_->system().contentsFile, file_->system().indexFile}) {
        const std::optional<QByteArray> text = file_->read(sitemap);
        ASSERT_TRUE(text) << sitemap.toStdString();
        std::vector<const SitemapEntry*> pending;
        const std::vector<SitemapEntry> entries = parseSitemap(*text);
        for (const SitemapEntry& entry : entries)
            pending.push_back(&entry);
        int withPage = 0;
        while (!pending.empty()) {
            const SitemapEntry* entry = pending.back();
            pending.pop_back();
            if (!entry->local.isEmpty()) {
                EXPECT_EQ(missing(sitemap, entry->local), "") << entry->name.toStdString();
                ++withPage;
            } else {
                EXPECT_FALSE(entry->children.empty())
                    << "heading without pages: " << entry->name.toStdString();
            }
            for (const SitemapEntry& child : entry->children)
                pending.push_back(&child);
        }
        EXPECT_GE(withPage, 13) << sitemap.toStdString();
    }
}

TEST_F(HelpFileTest, ReadingWhatIsNotThereGivesNothing) {
    EXPECT_FALSE(file_->read(QStringLiteral("/no-such-page.htm")));
    EXPECT_FALSE(file_->contains(QStringLiteral("")));
    EXPECT_TRUE(file_->contains(QStringLiteral("optionstab.htm")));
    EXPECT_FALSE(file_->files().contains(QStringLiteral("/#SYSTEM")));
}
